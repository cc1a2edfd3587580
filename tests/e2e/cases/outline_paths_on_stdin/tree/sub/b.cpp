namespace N {
int inside(void) { return 1; }
}
class C {
  int m() { return 0; }
};
int C::f(void)
{
  return 1;
}
void C::g(int a) const
{
}
template <class T> T id(T v) { return v; }
int main(int argc, char **argv) { return 0; }
