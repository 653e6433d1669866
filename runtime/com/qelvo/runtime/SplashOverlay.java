package com.qelvo.runtime;

import java.awt.AlphaComposite;
import java.awt.Color;
import java.awt.Font;
import java.awt.Graphics2D;
import java.awt.Toolkit;

// The launcher's two text lines over the runtime's splash image. AWT is touched only once the
// launcher configured the lines, so an application without the runtime splash never loads it;
// and nothing here may fail the application, whatever AWT thinks of the display.
final class SplashOverlay {
    static final class Line {
        final String text;
        final int x;
        final int y;
        final Color color;
        final int points;
        final boolean bold;

        Line(String text, int x, int y, String color, int points, int weight) {
            this(text == null ? "" : text, x, y, parseColor(color), points, weight >= 700);
        }

        private Line(String text, int x, int y, Color color, int points, boolean bold) {
            this.text = text;
            this.x = x;
            this.y = y;
            this.color = color;
            this.points = points;
            this.bold = bold;
        }

        Line withText(String newText) {
            return new Line(newText, x, y, color, points, bold);
        }
    }

    private static Line first;
    private static Line second;

    private SplashOverlay() {}

    static synchronized void configure(Line firstLine, Line secondLine) {
        first = firstLine;
        second = secondLine;
        draw();
    }

    static synchronized void setFirstText(String text) {
        if (first != null) {
            first = first.withText(text);
            draw();
        }
    }

    static synchronized void close() {
        if (first == null) {
            return;
        }
        first = null;
        java.awt.SplashScreen splash = showing();
        if (splash != null) {
            try {
                splash.close();
            } catch (IllegalStateException alreadyClosed) {
                // The runtime closes its splash itself when the first window appears.
            }
        }
    }

    // Configured lines, for the tests; null before the launcher's settings or after close.
    static synchronized Line[] lines() {
        return first == null ? null : new Line[] {first, second};
    }

    // "r,g,b" with each part 0 to 255; anything else draws in black.
    static Color parseColor(String text) {
        String[] parts = text == null ? new String[0] : text.split(",", -1);
        if (parts.length != 3) {
            return Color.BLACK;
        }
        int[] rgb = new int[3];
        for (int i = 0; i < 3; ++i) {
            try {
                rgb[i] = Integer.parseInt(parts[i].trim());
            } catch (NumberFormatException e) {
                return Color.BLACK;
            }
            if (rgb[i] < 0 || rgb[i] > 255) {
                return Color.BLACK;
            }
        }
        return new Color(rgb[0], rgb[1], rgb[2]);
    }

    private static java.awt.SplashScreen showing() {
        try {
            java.awt.SplashScreen splash = java.awt.SplashScreen.getSplashScreen();
            return splash != null && splash.isVisible() ? splash : null;
        } catch (RuntimeException | LinkageError noSplash) {
            // Headless, no splash support, or no native splash library.
            return null;
        }
    }

    private static void draw() {
        java.awt.SplashScreen splash = showing();
        if (splash == null) {
            return;
        }
        try {
            Graphics2D g = splash.createGraphics();
            try {
                g.setComposite(AlphaComposite.Clear);
                g.fillRect(0, 0, splash.getSize().width, splash.getSize().height);
                g.setComposite(AlphaComposite.SrcOver);
                int dpi = Toolkit.getDefaultToolkit().getScreenResolution();
                drawLine(g, first, dpi);
                drawLine(g, second, dpi);
            } finally {
                g.dispose();
            }
            splash.update();
        } catch (RuntimeException closedMeanwhile) {
            // The splash may close between the look and the drawing.
        }
    }

    private static void drawLine(Graphics2D g, Line line, int dpi) {
        g.setFont(new Font(Font.SANS_SERIF, line.bold ? Font.BOLD : Font.PLAIN,
                Math.round(line.points * dpi / 72f)));
        g.setColor(line.color);
        // The launcher places a line by its top edge, AWT by its baseline.
        g.drawString(line.text, line.x, line.y + g.getFontMetrics().getAscent());
    }
}
