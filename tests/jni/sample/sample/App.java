package sample;

import com.qelvo.Controller;
import com.qelvo.SplashScreen;
import java.util.concurrent.LinkedBlockingQueue;
import java.util.concurrent.TimeUnit;

// An application as a user writes one against kwnruntime.jar: it prints what it was given,
// shows a status text, waits for a second start and hides the splash.
public final class App {
    public static void main(String[] args) throws Exception {
        System.out.println("args|" + String.join("|", args) + "|"
                + System.getProperty("kestrowan.launcher.path"));
        var starts = new LinkedBlockingQueue<String>();
        Controller.addStartupListener(starts::add);
        SplashScreen.setText("Loading " + args.length);
        String second = starts.poll(60, TimeUnit.SECONDS); // null when none came: the test sees that
        System.out.println("second start|" + String.join("|", Controller.splitParameters(second)));
        SplashScreen.hide();
    }
}
