struct a { int x; };
