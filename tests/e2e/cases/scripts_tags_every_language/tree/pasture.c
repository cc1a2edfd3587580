int pasture(void)
{
	return 0;
}
