bar,baz = bar,bazbar,baz;
no match
