int x = LIMIT;
