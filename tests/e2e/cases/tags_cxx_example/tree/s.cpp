namespace geo {
class Shape : public Base {
public:
int area(void) { return 0; }
};
int Shape::perimeter(void)
{
return 1;
}
}
union u { int a; };
typedef union { int a; } uu;
