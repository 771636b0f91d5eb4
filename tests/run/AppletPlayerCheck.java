// Runs the page's sound player outside a browser: loads it with the
// parameters of the applet block in a page, the page's file address as its
// document address, and a stub context that records what it is asked to
// play; then starts and stops it like a visit. Prints one line per action:
//   play|loop|stop <address relative to the page's folder>
// Usage: java -Djava.awt.headless=false AppletPlayerCheck PAGE

import java.applet.Applet;
import java.applet.AppletContext;
import java.applet.AppletStub;
import java.applet.AudioClip;
import java.awt.Image;
import java.io.File;
import java.io.InputStream;
import java.net.URL;
import java.nio.file.Files;
import java.util.Enumeration;
import java.util.HashMap;
import java.util.Iterator;
import java.util.Map;
import java.util.regex.Matcher;
import java.util.regex.Pattern;

public class AppletPlayerCheck {
  static String folder;

  static String shown(URL url) {
    String s = url.toString();
    return s.startsWith(folder) ? s.substring(folder.length()) : s;
  }

  static class Clip implements AudioClip {
    final URL url;
    Clip(URL url) { this.url = url; }
    public void play() { System.out.println("play " + shown(url)); }
    public void loop() { System.out.println("loop " + shown(url)); }
    public void stop() { System.out.println("stop " + shown(url)); }
  }

  public static void main(String[] args) throws Exception {
    File page = new File(args[0]).getAbsoluteFile();
    URL pageUrl = page.toURI().toURL();
    folder = page.getParentFile().toURI().toURL().toString();
    final URL documentBase = pageUrl;
    String text = new String(Files.readAllBytes(page.toPath()), "ISO-8859-1");
    final Map<String, String> params = new HashMap<String, String>();
    Matcher m = Pattern.compile("<param name=(\\w+) value=\"([^\"]*)\">").matcher(text);
    while (m.find()) params.put(m.group(1), m.group(2));

    final AppletContext context = new AppletContext() {
      public AudioClip getAudioClip(URL url) {
        try {
          InputStream in = url.openStream();  // the sound must be there
          in.close();
          return new Clip(url);
        } catch (Exception e) {
          System.out.println("missing " + url);
          return null;
        }
      }
      public Image getImage(URL url) { return null; }
      public Applet getApplet(String name) { return null; }
      public Enumeration<Applet> getApplets() { return null; }
      public void showDocument(URL url) {}
      public void showDocument(URL url, String target) {}
      public void showStatus(String status) {}
      public void setStream(String key, InputStream stream) {}
      public InputStream getStream(String key) { return null; }
      public Iterator<String> getStreamKeys() { return null; }
    };
    SonaveltRandomEventBackground player = new SonaveltRandomEventBackground();
    player.setStub(new AppletStub() {
      public boolean isActive() { return true; }
      public URL getDocumentBase() { return documentBase; }
      public URL getCodeBase() { return documentBase; }
      public String getParameter(String name) { return params.get(name); }
      public AppletContext getAppletContext() { return context; }
      public void appletResize(int width, int height) {}
    });
    player.init();
    player.start();
    player.stop();
  }
}
