package com.qelvo.runtime;

import com.kestrowan.runtime.launcher.FirstRun;
import com.kestrowan.runtime.launcher.FirstRunAction;
import com.qelvo.Controller;
import com.qelvo.SplashScreen;
import java.awt.*;
import java.awt.image.BufferedImage;
import java.io.*;
import java.lang.reflect.*;
import java.nio.file.*;
import java.util.*;
import java.util.List;
import java.util.stream.*;
import javax.imageio.ImageIO;

// The runtime library in one JVM: every static method named test* (or, given an argument, named
// with that prefix) runs, failures are counted and the exit code tells ctest. The package is the
// splash overlay's, for its configured lines. Run with -Djava.awt.headless=true and
// KWN_RUNTIME_TEST_DIR naming a scratch directory; the drawing* tests need a display instead.
public final class RuntimeLibraryTest {
    private static int failures;

    public static void main(String[] args) throws Exception {
        Method[] tests = RuntimeLibraryTest.class.getDeclaredMethods();
        Arrays.sort(tests, (a, b) -> a.getName().compareTo(b.getName()));
        for (Method test : tests) {
            if (!test.getName().startsWith(args.length > 0 ? args[0] : "test")) continue;
            try {
                test.invoke(null);
            } catch (InvocationTargetException e) {
                fail(test.getName() + " threw " + e.getCause());
                e.getCause().printStackTrace(System.out);
            }
        }
        System.out.println(failures == 0 ? "all passed" : failures + " failed");
        System.exit(failures == 0 ? 0 : 1);
    }

    static void fail(String what) { ++failures; System.out.println("FAIL: " + what); }

    static void equal(Object expected, Object actual, String what) {
        if (!Objects.deepEquals(expected, actual))
            fail(what + ": expected <" + deep(expected) + "> but was <" + deep(actual) + ">");
    }

    static String deep(Object value) {
        return value instanceof Object[] ? Arrays.toString((Object[]) value) : String.valueOf(value);
    }

    interface Call { void run() throws Exception; }

    // What the call threw, as text; "null" when it returned.
    static String thrown(Call call) {
        try {
            call.run();
            return "null";
        } catch (Throwable e) {
            return e.toString();
        }
    }

    // ---- The entry classes -------------------------------------------------------------------

    // The application of the launch tests: records what it got, writes one line to each stream
    // and fails as its first argument says.
    public static final class App {
        static String[] args;
        static ClassLoader contextLoader;

        public static void main(String[] args) throws Throwable {
            App.args = args;
            contextLoader = Thread.currentThread().getContextClassLoader();
            System.out.println("out");
            System.err.println("err");
            if (args.length > 0 && args[0].equals("throwChecked")) throw new IOException("boom");
            if (args.length > 0 && args[0].equals("throwError")) throw new AssertionError("boom");
        }
    }

    static class NotPublic { public static void main(String[] args) { App.args = args; } }
    public static final class InstanceMain { public void main(String[] args) {} }
    public static final class PrivateMain { private static void main(String[] args) {} }
    public static final class IntMain { public static int main(String[] args) { return 0; } }

    public static final class FailingInit {
        static { if (true) throw new IllegalStateException("init"); }
        public static void main(String[] args) {}
    }

    static final String APP = App.class.getName();
    static final Path DIR = Path.of(System.getenv("KWN_RUNTIME_TEST_DIR"));

    // Runs the first flavour's entry with standard error and output caught, puts them back and
    // returns what reached the original standard error.
    static String launch(String... args) throws Exception {
        PrintStream out = System.out, err = System.err;
        ByteArrayOutputStream originalErr = new ByteArrayOutputStream();
        System.setOut(new PrintStream(new ByteArrayOutputStream(), true));
        System.setErr(new PrintStream(originalErr, true));
        try {
            WinLauncher.main(args);
        } finally {
            System.setOut(out);
            System.setErr(err);
        }
        return originalErr.toString();
    }

    static String[] layout(String errorLog, String outputLog, String append, String... tail) {
        return Stream.concat(Stream.of("true", APP, errorLog, outputLog, append), Stream.of(tail))
                .toArray(String[]::new);
    }

    static void testArgumentLayout() throws Exception {
        Object[][] rows = {
            {layout("", "", "false", "C:\\apps\\run.exe", "a", ""), new String[] {"a", ""},
                "C:\\apps\\run.exe"},
            {layout("", "", "false"), new String[0], null}};
        for (Object[] row : rows) {
            System.clearProperty("kestrowan.launcher.path");
            Thread.currentThread().setContextClassLoader(null);
            App.args = null;
            launch((String[]) row[0]);
            equal(row[1], App.args, "arguments of " + deep(row[0]));
            equal(row[2], System.getProperty("kestrowan.launcher.path"), "program path");
            equal(ClassLoader.getSystemClassLoader(), App.contextLoader, "context loader");
        }
        equal("java.lang.IllegalArgumentException: The launcher passed 4 arguments; at least 5 are "
                + "needed before the application's own", thrown(() -> launch("true", APP, "", "")),
                "too few arguments");
    }

    // Each row: error log, output log (% the scratch directory), append flag, what both files
    // held before (or null), then the files found in the scratch directory with their content,
    // and what reached the original standard error.
    static void testLogRedirection() throws Exception {
        System.setProperty("kwn.test.dir", DIR.toString());
        System.setProperty("kwn.test.empty", "");
        String notWritten = " is not written: ";
        Object[][] rows = {
            {"%/new/sub/e.log", "%/new/o.log", "false", null,
                "[new/o.log=out\n, new/sub/e.log=err\n]", ""},
            {"%/e.log", "%/o.log", "false", "old\n", "[e.log=err\n, o.log=out\n]", ""},
            {"%/e.log", "%/o.log", "true", "old\n", "[e.log=old\nerr\n, o.log=old\nout\n]", ""},
            {"", "", "false", null, "[]", "err\n"},
            {"${kwn.test.dir}/p${kwn.test.empty}/e.log", "${KWN_RUNTIME_TEST_DIR}/o.log", "false",
                null, "[o.log=out\n, p/e.log=err\n]", ""},
            {"$plain.log", "", "false", null, "[$plain.log=err\n]", ""},
            {"${no.such.name}/e.log", "${kwn.test.dir/o.log", "false", null, "[]",
                "The error log ${no.such.name}/e.log" + notWritten + "${no.such.name} names neither "
                + "a system property nor an environment variable\nThe output log "
                + "${kwn.test.dir/o.log" + notWritten + "a ${ is not closed\nerr\n"}};
        for (Object[] row : rows) {
            // The scratch directory is the working directory too: only its content goes.
            Files.walk(DIR).skip(1).sorted(Comparator.reverseOrder())
                    .forEach(path -> path.toFile().delete());
            if (row[3] != null)
                for (String name : new String[] {"e.log", "o.log"})
                    Files.writeString(DIR.resolve(name), (String) row[3]);
            String originalErr = launch(layout(((String) row[0]).replace("%", DIR.toString()),
                    ((String) row[1]).replace("%", DIR.toString()), (String) row[2], "run.exe"));
            equal(row[5], originalErr, "original standard error with " + row[0]);
            List<String> found = new ArrayList<>();
            for (Path file : Files.walk(DIR).filter(Files::isRegularFile).toArray(Path[]::new))
                found.add(DIR.relativize(file) + "=" + Files.readString(file));
            Collections.sort(found);
            equal(row[4], found.toString(), "log files with " + row[0] + " and " + row[1]);
        }
        // A system property wins over the environment variable of the same name.
        System.setProperty("KWN_RUNTIME_TEST_DIR", DIR.resolve("new").toString());
        launch(layout("", "${KWN_RUNTIME_TEST_DIR}/o.log", "false", "run.exe"));
        System.clearProperty("KWN_RUNTIME_TEST_DIR");
        equal(true, Files.exists(DIR.resolve("new/o.log")), "property before environment");
    }

    // What the application's main throws, or its class's initialiser, comes back unchanged after
    // going to the error log; what is wrong with the main class is named.
    static void testApplicationFailures() throws Exception {
        Path log = DIR.resolve("fail.log");
        String[][] kinds = {{APP, "throwChecked", "java.io.IOException: boom"},
            {APP, "throwError", "java.lang.AssertionError: boom"},
            {FailingInit.class.getName(), "", "java.lang.ExceptionInInitializerError"}};
        for (String[] kind : kinds) {
            equal(kind[2], thrown(() -> launch("true", kind[0], log.toString(), "", "false",
                    "run.exe", kind[1])), kind[2] + " rethrown");
            equal(true, Files.readString(log).contains("The application's main ended with an "
                    + "exception:\n" + kind[2]), kind[2] + " logged: " + Files.readString(log));
        }
        Files.delete(log);
        launch("true", NotPublic.class.getName(), "", "", "false", "run.exe", "x");
        equal(new String[] {"x"}, App.args, "main of a class that is not public");
        String[][] broken = {{"no.such.App", "ClassNotFoundException"},
            {InstanceMain.class.getName(), "NoSuchMethodException"},
            {PrivateMain.class.getName(), "NoSuchMethodException"},
            {IntMain.class.getName(), "NoSuchMethodException"}};
        for (String[] row : broken) {
            String e = thrown(() -> launch("true", row[0], "", "", "false", "run.exe"));
            equal(true, e.startsWith("java.lang." + row[1] + ": The application's main class "
                    + row[0] + " "), "failure for " + row[0] + ": " + e);
        }
    }

    // ---- Later starts --------------------------------------------------------------------------

    // Registers a listener that records what it hears, and throws when told to.
    static Controller.StartupListener listen(List<String> got, boolean throwing) {
        Controller.StartupListener listener = parameters -> {
            got.add(parameters);
            if (throwing) throw new IllegalStateException("listener throws");
        };
        Controller.addStartupListener(listener);
        return listener;
    }

    static Thread sender(String prefix) {
        Thread thread = new Thread(() -> IntStream.range(0, 2000)
                .forEach(i -> Controller.startupPerformed(prefix + i)));
        thread.start();
        return thread;
    }

    static void testStartupListeners() throws Exception {
        // Starts before any listener wait for the first, in order, null included.
        Arrays.asList("a", null, "b").forEach(Controller::startupPerformed);
        List<String> first = new ArrayList<>();
        Controller.removeStartupListener(listen(first, false));
        equal(Arrays.asList("a", null, "b"), first, "queued starts");

        // Two senders race a registering listener: nothing lost, nothing twice, each in order.
        List<String> second = Collections.synchronizedList(new ArrayList<>());
        Thread one = sender("x"), two = sender("y");
        Thread.sleep(1);
        Controller.StartupListener secondListener = listen(second, false);
        one.join();
        two.join();
        equal(4000, second.size(), "starts delivered");
        for (String prefix : new String[] {"x", "y"})
            equal(IntStream.range(0, 2000).mapToObj(i -> prefix + i).collect(Collectors.toList()),
                    second.stream().filter(s -> s.startsWith(prefix)).collect(Collectors.toList()),
                    "order of " + prefix);

        // A throwing listener keeps neither the next listener nor the next start from their turn;
        // a removed listener hears nothing more.
        List<String> throwing = new ArrayList<>(), last = new ArrayList<>();
        Controller.StartupListener throwingListener = listen(throwing, true);
        Controller.StartupListener lastListener = listen(last, false);
        Controller.removeStartupListener(secondListener);
        PrintStream err = System.err;
        System.setErr(new PrintStream(new ByteArrayOutputStream()));
        Controller.startupPerformed("c");
        Controller.startupPerformed("d");
        System.setErr(err);
        equal(Arrays.asList("c", "d"), throwing, "throwing listener");
        equal(Arrays.asList("c", "d"), last, "listener after a throwing one");
        equal(4000, second.size(), "removed listener");
        Controller.removeStartupListener(throwingListener);
        Controller.removeStartupListener(lastListener);
        equal("java.lang.NullPointerException: listener",
                thrown(() -> Controller.addStartupListener(null)), "null listener");
    }

    // The launcher's own splitting table, row for row.
    static void testSplitParameters() {
        Object[][] rows = {
            {"C:\\apps\\tool.exe -a \"b c\"", "C:\\apps\\tool.exe", "-a", "b c"}, {""}, {null},
            {"-Dx=\"a b\"c d", "-Dx=a b", "c", "d"}, {"'it''s'", "it", "s"}, {"\"abc", "abc"},
            {"a  b", "a", "b"}, {"a\tb c\t", "a\tb", "c\t"}, {"   "}, {"\"it's\" x", "it's", "x"},
            {" a", "a"}, {"'say \"hi\"' x", "say \"hi\"", "x"}, {"a \"\" b", "a", "", "b"},
            {"ab\"", "ab"}, {"x\"y z", "xy z"}, {"\"a\"  \"b\"", "a", "b"}, {"\"c:\\\" d", "c:\\", "d"}};
        for (Object[] row : rows)
            equal(Arrays.copyOfRange(row, 1, row.length, String[].class),
                    Controller.splitParameters((String) row[0]), "split of " + row[0]);
    }

    // ---- The splash ----------------------------------------------------------------------------

    static void testSplashControl() throws Exception {
        // The application's calls ("t:TEXT", "hide") and then the launcher's polls: getAction,
        // then getText whenever it answered 2, until it answers 0.
        String[][] rows = {{"", "0"}, {"t:a", "2 a 0"}, {"t:a t:b", "2 b 0"}, {"t:a hide", "1 0"},
            {"hide t:c", "1 0"}, {"hide hide", "1 0"}, {"t:", "2  0"}};
        for (String[] row : rows) {
            for (String call : row[0].split(" ")) {
                if (call.equals("hide")) SplashScreen.hide();
                else if (!call.isEmpty()) SplashScreen.setText(call.substring(2));
            }
            StringBuilder polls = new StringBuilder();
            for (int action = -1, n = 0; action != 0 && n < 5; ++n) {
                action = QelvoController.getAction();
                polls.append(polls.length() > 0 ? " " : "").append(action);
                if (action == 2) polls.append(' ').append(QelvoController.getText());
            }
            equal(row[1], polls.toString(), "polls after " + row[0]);
            equal(null, QelvoController.getText(), "text taken");
        }
        equal("java.lang.NullPointerException: text",
                thrown(() -> SplashScreen.setText(null)), "null text");
    }

    // Headless: lines the launcher did not enable are not kept, and a colour the overlay cannot
    // read draws in black.
    static void testRuntimeSplashLines() {
        WinLauncher.initAwtSplashConfig(false, false, "x", 0, 0, "", 0, 0, "y", 0, 0, "", 0, 0);
        equal(null, SplashOverlay.lines(), "lines when not enabled");
        Object[][] colours = {{"255,0,7", new Color(255, 0, 7)}, {"256,0,0", Color.BLACK},
            {"-1,0,0", Color.BLACK}, {"1,2", Color.BLACK}, {"1,2,3,4", Color.BLACK},
            {"1,,3", Color.BLACK}, {null, Color.BLACK}};
        for (Object[] row : colours)
            equal(row[1], SplashOverlay.parseColor((String) row[0]), "colour " + row[0]);
    }

    // On a display with the runtime splash (run alone, under an X server at 144 dpi, with
    // -splash:). Each row: the launcher's first text, its size in points and weight, the second
    // text, the first text the application then sets (or null); then the first line expected:
    // text, pixel size, bold. The second line is 9 points, plain; the lines reach the top and
    // left edges, where a redraw must clear them too.
    static void drawingOnTheSplash() throws Exception {
        java.awt.SplashScreen splash = java.awt.SplashScreen.getSplashScreen();
        if (splash == null) throw new IllegalStateException("no splash: run with -splash:");
        equal(144, Toolkit.getDefaultToolkit().getScreenResolution(), "the X server's resolution");
        Object[][] rows = {{"Hxg Starting", 14, 700, "second line", null, "Hxg Starting", 28, true},
            {"Hxg Starting", 14, 700, "second line", "Loading", "Loading", 28, true},
            {"Plain", 21, 699, null, null, "Plain", 42, false}};
        for (Object[] row : rows) {
            WinLauncher.initAwtSplashConfig(true, false, (String) row[0], 12, -8, "200,30,0",
                    (int) row[1], (int) row[2], (String) row[3], -3, 80, " 0, 60 ,220", 9, 400);
            if (row[4] != null) SplashScreen.setText((String) row[4]);
            BufferedImage expected = ImageIO.read(splash.getImageURL());
            Graphics2D g = expected.createGraphics();
            byTopEdge(g, (String) row[5], 12, -8, new Color(200, 30, 0), (int) row[6], (boolean) row[7]);
            byTopEdge(g, row[3] == null ? "" : (String) row[3], -3, 80, new Color(0, 60, 220), 18, false);
            equal(0, differingPixels(splash.getBounds(), expected), "pixels off with " + deep(row));
        }
        SplashScreen.hide();
        equal(null, java.awt.SplashScreen.getSplashScreen(), "splash after hide");
        SplashScreen.setText("after hide");
        WinLauncher.initAwtSplashConfig(true, false, "x", 0, 0, "", 9, 0, "y", 0, 0, "", 9, 0);
    }

    static void byTopEdge(Graphics2D g, String text, int x, int top, Color c, int pixels, boolean bold) {
        g.setFont(new Font(Font.SANS_SERIF, bold ? Font.BOLD : Font.PLAIN, pixels));
        g.setColor(c);
        g.drawString(text, x, top + g.getFontMetrics().getAscent());
    }

    // The splash's own thread paints an update when it gets to it: wait for the picture.
    static int differingPixels(Rectangle area, BufferedImage expected) throws Exception {
        int differing = -1;
        for (int attempt = 0; attempt < 40 && differing != 0; ++attempt, Thread.sleep(50)) {
            BufferedImage shown = new Robot().createScreenCapture(area);
            differing = 0;
            for (int y = 0; y < area.height; ++y)
                for (int x = 0; x < area.width; ++x)
                    if ((shown.getRGB(x, y) ^ expected.getRGB(x, y)) << 8 != 0) ++differing;
        }
        return differing;
    }

    // ---- First run -----------------------------------------------------------------------------

    // The two actions this jar lists, in that order, answer as the script says: "t", "f", "x"
    // (throw). Each row: the script, then the actions that ran and what the hook answered.
    static String script = "";
    static final List<String> ran = new ArrayList<>();

    public static final class FirstAction implements FirstRunAction {
        @Override public boolean run() throws Exception { return answer(0); }
    }
    public static final class SecondAction implements FirstRunAction {
        @Override public boolean run() throws Exception { return answer(1); }
    }

    static boolean answer(int index) throws Exception {
        ran.add("" + index);
        if (script.charAt(index) == 'x') throw new IOException("action " + index);
        return script.charAt(index) == 't';
    }

    static void testFirstRun() throws Exception {
        String[][] rows = {{"tt", "0 1 true"}, {"ft", "0 false"}, {"tf", "0 1 false"},
            {"xt", "0 java.io.IOException: action 0"}};
        for (String[] row : rows) {
            script = row[0];
            ran.clear();
            String failure = thrown(() -> ran.add("" + FirstRun.firstRun()));
            equal(row[1], String.join(" ", ran) + (failure.equals("null") ? "" : " " + failure),
                    "actions run and the answer for " + script);
        }
    }
}
