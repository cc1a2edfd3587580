int dup(void)
{
	return 2;
}
