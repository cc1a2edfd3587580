foo = foofoo;
no match
