// A superinterface of the run: a default method and a constant.
public interface Mixin {
  int D = 4;
  default void D() {}
}
