int main(void)
{
	foo();
	bar(foo());
	if (x) while (y) ;
	return 0;
}
int foo(void)
{
	bar();
}
int bar(void)
{
	return 0;
}
int rec(int n)
{
	return n ? rec(n - 1) : 0;
}
void c1(void) { c2(); }
void c2(void) { c3(); }
void c3(void) { c4(); }
void c4(void) { c5(); }
void c5(void) { c6(); }
void c6(void) { c7(); }
void c7(void) { c8(); }
void c8(void) { }
