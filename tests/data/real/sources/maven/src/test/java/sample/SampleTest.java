// A JUnit 4 test class with every outcome, used to produce surefire.xml of
// the real corpus (see ../../../../../../README.md).
package sample;

import static org.junit.Assert.assertEquals;

import org.junit.Ignore;
import org.junit.Test;

public class SampleTest {
  private static int flakyAttempts = 0;

  @Test
  public void adds() {
    assertEquals(2, 1 + 1);
  }

  @Test
  public void fails() {
    assertEquals("multiplication is off", 7, 2 * 3);
  }

  @Test
  public void throwsError() {
    throw new IllegalStateException("broken <state> & more");
  }

  @Ignore("not on this machine")
  @Test
  public void ignored() {}

  @Test
  public void passesOnSecondAttempt() {
    flakyAttempts++;
    System.out.println("attempt " + flakyAttempts);
    assertEquals("not yet", 2, flakyAttempts);
  }
}
