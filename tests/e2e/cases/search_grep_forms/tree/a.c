p = kmalloc(8);
/* none */
q = kmalloc(1) + kmalloc(2);
r = kmalloc(