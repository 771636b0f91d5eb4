// The player that the edited page embeds. It reads the page's resource file
// (named by the "resource" parameter, without its ".res"), picks one sound
// combination (at random, or the next one in turn) and plays its entrance
// sound when the page starts, loops its background sound while the page is
// shown (from the start when it is initially on, or when the visitor switches
// it on with the small control) and plays its exit sound when the page is left.
//
// Resource file: a 4-byte length L (least significant byte first), then L
// bytes, each the text byte shifted left by one. The text is 16 fields, each
// ended by ";": page URL, entrance sounds, exit sounds, background sounds
// (lists separated by ","), entrance playing times, background image, page
// colour "r,g,b", then Y/N for no background, visible control, entrance on,
// exit on, background initially on and safety key, then three spare fields.
// An empty field is a single blank.

import java.applet.Applet;
import java.applet.AudioClip;
import java.awt.Button;
import java.awt.Color;
import java.awt.event.ActionEvent;
import java.awt.event.ActionListener;
import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.net.URL;
import java.util.ArrayList;
import java.util.List;
import java.util.Random;

public class SonaveltRandomEventBackground extends Applet implements ActionListener {
  private static final long serialVersionUID = 1L;
  // The next combination for pages that play in order; shared by the pages
  // a browser shows during one session.
  private static int nextInOrder = 0;

  private String[] fields;
  private boolean allowed = false;
  private AudioClip entrance;
  private AudioClip exit;
  private AudioClip background;
  private boolean backgroundPlaying = false;
  private Button control;

  // Decodes the bytes of a resource file into its text.
  static String decode(byte[] data) {
    if (data.length < 4) return "";
    long length = (data[0] & 0xFF) | ((data[1] & 0xFF) << 8) | ((data[2] & 0xFF) << 16)
        | ((long) (data[3] & 0xFF) << 24);
    int n = (int) Math.min(length, (long) data.length - 4);
    StringBuilder text = new StringBuilder(n);
    for (int i = 0; i < n; i++) text.append((char) ((data[4 + i] & 0xFF) >> 1));
    return text.toString();
  }

  // The ";"-ended fields of the text; always at least 16 entries.
  static String[] splitFields(String text) {
    List<String> out = new ArrayList<String>();
    int start = 0;
    for (int semi; (semi = text.indexOf(';', start)) >= 0; start = semi + 1) {
      out.add(text.substring(start, semi));
    }
    while (out.size() < 16) out.add(" ");
    return out.toArray(new String[0]);
  }

  static String[] splitList(String field) {
    return field.split(",", -1);
  }

  static boolean isEmpty(String field) {
    return field.trim().length() == 0;
  }

  private boolean flag(int index) {
    return "Y".equals(fields[index].trim());
  }

  private static byte[] readAll(InputStream in) throws IOException {
    ByteArrayOutputStream out = new ByteArrayOutputStream();
    byte[] buffer = new byte[4096];
    for (int n; (n = in.read(buffer)) > 0;) out.write(buffer, 0, n);
    return out.toByteArray();
  }

  // The page's own address without its query or fragment, for the safety key.
  private static String withoutQuery(String address) {
    int cut = address.length();
    int q = address.indexOf('?');
    if (q >= 0) cut = q;
    int h = address.indexOf('#');
    if (h >= 0 && h < cut) cut = h;
    return address.substring(0, cut);
  }

  private int chooseCombination(int count) {
    String random = getParameter("random");
    if (random != null && random.equalsIgnoreCase("Yes")) return new Random().nextInt(count);
    synchronized (SonaveltRandomEventBackground.class) {
      int chosen = nextInOrder % count;
      nextInOrder = (chosen + 1) % count;
      return chosen;
    }
  }

  private AudioClip clip(String[] list, int index) {
    if (index >= list.length || isEmpty(list[index])) return null;
    try {
      return getAudioClip(new URL(getDocumentBase(), list[index].trim()));
    } catch (IOException e) {
      return null;
    }
  }

  public void init() {
    String resource = getParameter("resource");
    if (resource == null) return;
    try {
      InputStream in = new URL(getDocumentBase(), resource + ".res").openStream();
      try {
        fields = splitFields(decode(readAll(in)));
      } finally {
        in.close();
      }
    } catch (IOException e) {
      return;  // no resource file: the page stays silent
    }
    // With the safety key set the sounds play only on the page they were made for.
    allowed = true;
    if (flag(12) && !isEmpty(fields[0])) {
      String here = withoutQuery(getDocumentBase().toString());
      allowed = here.equalsIgnoreCase(fields[0].trim());
    }
    if (!allowed) return;

    String[] entrances = splitList(fields[1]);
    int chosen = chooseCombination(Math.max(1, entrances.length));
    if (flag(9)) entrance = clip(entrances, chosen);
    if (flag(10)) exit = clip(splitList(fields[2]), chosen);
    if (!flag(7)) background = clip(splitList(fields[3]), chosen);

    String[] rgb = splitList(fields[6]);
    if (rgb.length == 3) {
      try {
        setBackground(new Color(Integer.parseInt(rgb[0].trim()), Integer.parseInt(rgb[1].trim()),
            Integer.parseInt(rgb[2].trim())));
      } catch (IllegalArgumentException e) {
        // a colour the page did not give in numbers: keep the default
      }
    }
    if (flag(8) && background != null) {
      control = new Button(flag(11) ? "Music off" : "Music on");
      control.addActionListener(this);
      add(control);
    }
  }

  public void start() {
    if (!allowed) return;
    if (entrance != null) entrance.play();
    if (background != null && flag(11)) setBackgroundPlaying(true);
  }

  public void stop() {
    if (!allowed) return;
    setBackgroundPlaying(false);
    if (exit != null) exit.play();
  }

  private void setBackgroundPlaying(boolean on) {
    if (background == null || on == backgroundPlaying) return;
    if (on) {
      background.loop();
    } else {
      background.stop();
    }
    backgroundPlaying = on;
    if (control != null) control.setLabel(on ? "Music off" : "Music on");
  }

  public void actionPerformed(ActionEvent event) {
    setBackgroundPlaying(!backgroundPlaying);
  }

  public String getAppletInfo() {
    return "Sonavelt entrance, exit and background sounds";
  }
}
