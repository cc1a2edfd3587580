package zoo;

public class Reindeer<T> extends Deer implements Runnable {
    public Reindeer(int antlers) {
    }
    public void run() {
    }
}
