static int clamp(int a)
{
  return a;
}
int main(int argc, char *argv[])
{
  return 0;
}
namespace N { int f(void) { return 1; } }
