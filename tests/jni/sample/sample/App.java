package sample;

import com.qelvo.Controller;
import com.qelvo.SplashScreen;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.atomic.AtomicReference;

// An application as a user writes one against kwnruntime.jar: it prints what it was given,
// shows a status text, waits for a second start and hides the splash.
public final class App {
    public static void main(String[] args) throws Exception {
        System.out.println("args|" + String.join("|", args) + "|"
                + System.getProperty("kestrowan.launcher.path"));
        AtomicReference<String> second = new AtomicReference<>();
        CountDownLatch started = new CountDownLatch(1);
        Controller.addStartupListener(parameters -> {
            second.set(parameters);
            started.countDown();
        });
        SplashScreen.setText("Loading " + args.length);
        if (!started.await(60, TimeUnit.SECONDS)) throw new IllegalStateException("no second start");
        System.out.println("second start|" + String.join("|", Controller.splitParameters(second.get())));
        SplashScreen.hide();
    }
}
