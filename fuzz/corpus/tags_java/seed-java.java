package a.b;
import java.util.*;
@Annotation
public final class Outer<T> extends Base implements I {
  private int x = 1;
  public static <U> List<U> make(U u) throws E { return null; }
  interface Inner { void f(); }
  enum E { A, B; void g() {} }
  Outer() { super(); }
}
