#!/usr/bin/python3
# The GTK host as a screen reader sees it: tamberlin-demo's windows found and
# operated through the accessibility tree (AT-SPI), by role and name, never by
# pixel positions. Only the double-click on the message, which no
# accessibility action stands for, is a real mouse gesture (xdotool).
#
#   sh tests/xvfb.sh dbus-run-session -- /usr/bin/python3 gtk_atspi.py DEMO WORK
#
# The session bus starts the accessibility bus when asked for it. Every wait
# is bounded; every demo is killed on the way out.
import glob
import os
import shutil
import subprocess
import sys
import time

import pyatspi

DEMO, WORK = sys.argv[1], sys.argv[2]
USE_RECORDER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "mail", "use-recorder")
DIALOG = "Tamberlin Error"
ABORT = "Abort and close application"
QUESTION, CONTENTS = "Tamberlin Error Reports", "What is sent"
ASKED = "May Tamberlin send reports of its errors to Quillfern, so they can be mended?"
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAILED:", what, file=sys.stderr)


def environment():
    """Temporary XDG folders whose default mail client is the recorder."""
    shutil.rmtree(WORK, ignore_errors=True)
    subprocess.run([USE_RECORDER, WORK], check=True)
    env = dict(os.environ, XDG_DATA_HOME=os.path.join(WORK, "data"),
               XDG_CONFIG_HOME=os.path.join(WORK, "config"),
               XDG_CONFIG_DIRS=os.path.join(WORK, "etc"), LC_ALL="C.UTF-8",
               TAMBERLIN_UI="gui", TAMBERLIN_MAIL_RECORD=os.path.join(WORK, "record"))
    for name in ("XDG_CURRENT_DESKTOP", "MAILER", "NO_AT_BRIDGE", "GTK_THEME"):
        env.pop(name, None)
    return env


def wait_for(find, what, seconds=30):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            found = find()
        except Exception:  # the tree changes under us while windows come and go
            found = None
        if found:
            return found
        time.sleep(0.1)
    raise TimeoutError(what)


def windows(role, name):
    desktop = pyatspi.Registry.getDesktop(0)
    return [w for app in desktop if app for w in app
            if w and w.getRoleName() == role and w.name == name and
            w.getState().contains(pyatspi.STATE_SHOWING)]


def window(role, name):
    return wait_for(lambda: (windows(role, name) or [None])[0], f"no {role} \"{name}\"")


def gone(role, name):
    wait_for(lambda: not windows(role, name), f"the {role} \"{name}\" stayed open")


def control(parent, role, name):
    found = pyatspi.findDescendant(parent, lambda n: n.getRoleName() == role and n.name == name)
    if not found:
        raise LookupError(f"no {role} \"{name}\" in \"{parent.name}\"")
    return found


def press(parent, role, name):
    control(parent, role, name).queryAction().doAction(0)


def key(keysym):
    pyatspi.Registry.generateKeyboardEvent(keysym, None, pyatspi.KEY_SYM)


def targets(node, relation):
    return [r.getTarget(i).name for r in node.getRelationSet()
            if r.getRelationType() == relation for i in range(r.getNTargets())]


def laid_out(win, least=6):
    """Text that fits its label and controls that keep apart, inside the window."""
    (wx, wy, ww, wh), boxes = win.queryComponent().getExtents(pyatspi.DESKTOP_COORDS), []
    for node in pyatspi.findAllDescendants(win, lambda n: n.getState().contains(
            pyatspi.STATE_SHOWING) and n.parent.getRoleName() == "panel" and n.getRoleName() in (
            "label", "check box", "push button", "scroll pane", "icon")):
        x, y, w, h = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        check(wx <= x and wy <= y and x + w <= wx + ww and y + h <= wy + wh,
              f"{node.name} sticks out of {win.name}")
        if node.getRoleName() == "label":
            text = node.queryText()
            cx, cy, cw, ch = text.getCharacterExtents(text.characterCount - 1,
                                                      pyatspi.DESKTOP_COORDS)
            check(cx + cw <= x + w and cy + ch <= y + h, f"{node.name} is cut off")
        for other, (ox, oy, ow, oh) in boxes:
            check(x >= ox + ow or ox >= x + w or y >= oy + oh or oy >= y + h,
                  f"{node.name} overlaps {other}")
        boxes.append((node.name, (x, y, w, h)))
    check(len(boxes) >= least, f"only {len(boxes)} controls laid out")


def keys(node, *combo):
    """Puts the pointer over the node's window (no window manager gives it the
    keyboard), then types the keys (xdotool's spelling)."""
    x, y, w, h = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    subprocess.run(["xdotool", "mousemove", str(x + w // 2), str(y + h // 2),
                    *(["key", *combo] if combo else [])], check=True)


def focus(node):
    keys(node)
    node.queryComponent().grabFocus()
    wait_for(lambda: node.getState().contains(pyatspi.STATE_FOCUSED), f"no focus on {node.name}")


class Demo:
    def __init__(self, env, *args):
        self.out = open(os.path.join(WORK, "demo.out"), "w+")
        self.err = open(os.path.join(WORK, "demo.err"), "w+")
        self.process = subprocess.Popen(["timeout", "-s", "KILL", "60", DEMO, *args], env=env,
                                        stdout=self.out, stderr=self.err)

    def finish(self):
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.out.seek(0)
        self.err.seek(0)
        errors = self.err.read()
        check(self.process.returncode == 0, f"the demo ended with {self.process.returncode}:\n"
              f"{errors}")
        return self.out.read()


def raise_case(env, name, args, act, response):
    demo = Demo(env, "raise", *args)
    try:
        act()
    except Exception as e:
        check(False, f"{name}: {e}")
    out = demo.finish()
    check(out.endswith(f"response: {response}\n"), f"{name}: expected response {response}:\n{out}")


def main():
    env = environment()
    run(env)
    screen_reader(env)
    if failures:
        sys.exit(1)
    print("gtk_atspi: passed")


def run(env):
    full = ["--number", "53", "--op", "opening the project", "--allow-email", "--allow-abort"]

    # Printer error: Cancel in the box, then the dialog's Abort and OK.
    def cancel_then_abort():
        press(window("alert", "Tamberlin"), "push button", "Cancel")
        dialog = window("dialog", DIALOG)
        shown = control(dialog, "text", "Error details").queryText().getText(0, -1)
        check(shown.startswith("The error:  Printer error\n\noccurred while printing."), shown)
        check("\nError number: 482\nDescription: Printer error\n" in shown, shown)
        abort_and_ok(dialog)

    def abort_and_ok(dialog):
        abort = control(dialog, "check box", ABORT)
        abort.queryAction().doAction(0)
        wait_for(lambda: abort.getState().contains(pyatspi.STATE_CHECKED), "Abort not ticked")
        press(dialog, "push button", "OK")

    raise_case(env, "Cancel, Abort and OK", ["--number", "482", "--op", "printing", *full[4:]],
               cancel_then_abort, 3)
    # A dialog described by its message, which starts with the caret at its
    # beginning and says how to retry; the e-mail label names its button. At
    # large text (GNOME's 1.5) nothing is cut off or runs into another.
    def described_then_ok():
        dialog = window("dialog", DIALOG)
        laid_out(dialog)
        message = control(dialog, "text", "Error details")
        check(targets(dialog, pyatspi.RELATION_DESCRIBED_BY) == ["Error details"],
              "the dialog is not described by its message")
        check(dialog.description == " ".join(message.queryText().getText(0, -1).split()[:6]),
              dialog.description)
        check(message.description == "Double-click the message, or press Ctrl+R, to retry.",
              message.description)
        check(message.queryText().caretOffset == 0, "the caret is not at the message's start")
        check(targets(control(dialog, "label", "Email Quillfern information about this error:"),
                      pyatspi.RELATION_LABEL_FOR) == ["Email Quillfern"], "the label names no button")
        check(not targets(message, pyatspi.RELATION_LABELLED_BY), "the message has a label")
        press(dialog, "push button", "OK")

    raise_case(dict(env, GDK_DPI_SCALE="1.5"), "OK", full, described_then_ok, 5)

    def email_then_ok():
        dialog = window("dialog", DIALOG)
        check(control(dialog, "check box", "Include current project data").getState()
              .contains(pyatspi.STATE_CHECKED), "Include current project data is not ticked")
        press(dialog, "push button", "Email Quillfern")
        record = env["TAMBERLIN_MAIL_RECORD"]
        wait_for(lambda: os.path.exists(record) and b"-compose" in open(record, "rb").read(),
                 "the mail client was not called")
        press(window("dialog", DIALOG), "push button", "OK")

    raise_case(env, "Email", full, email_then_ok, 5)

    # Tab follows the form's tab order, from the message on; Esc closes.
    def tab_then_escape():
        dialog = window("dialog", DIALOG)
        focus(control(dialog, "text", "Error details"))
        for role, name in (("check box", ABORT), ("push button", "Email Quillfern"),
                           ("check box", "Include current project data")):
            key(0xFF09)  # Tab
            node = control(dialog, role, name)
            wait_for(lambda: node.getState().contains(pyatspi.STATE_FOCUSED), f"Tab to {name}")
        key(0xFF1B)  # Escape

    raise_case(env, "Tab and Esc", full, tab_then_escape, 5)

    def enter_in_message():
        focus(control(window("dialog", DIALOG), "text", "Error details"))
        key(0xFF0D)  # Return

    raise_case(env, "Enter in the message", full, enter_in_message, 5)
    raise_case(env, "Ctrl+R", full, lambda: keys(window("dialog", DIALOG), "ctrl+r"), 4)

    def double_click():
        text = control(window("dialog", DIALOG), "text", "Error details")
        x, y, w, h = text.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        subprocess.run(["xdotool", "mousemove", str(x + w // 3), str(y + h // 2), "click",
                        "--repeat", "2", "--delay", "80", "1"], check=True)

    raise_case(env, "double-click", full, double_click, 4)

    # Retry in the box, then the dialog's Abort answers the box's retry.
    def retry_then_abort():
        press(window("alert", "Tamberlin"), "push button", "Retry")
        abort_and_ok(window("dialog", DIALOG))

    raise_case(env, "Retry", ["--number", "70", "--allow-abort"], retry_then_abort, 4)

    # A collector on a closed port: after the dialog, the first report asks
    # first. By keyboard alone: Tab through the answers, Enter on "Show what
    # is sent", its read-only text readable and scrolled, Esc back, Alt+T.
    collector = dict(env, TAMBERLIN_DSN="http://k@127.0.0.1:9/1")
    outbox = lambda: glob.glob(os.path.join(WORK, "data", "*", "*", "Outbox", "*.envelope"))

    def question():
        press(window("dialog", DIALOG), "push button", "OK")
        return window("dialog", QUESTION)

    def consent_by_keyboard():
        dialog = question()
        check(targets(dialog, pyatspi.RELATION_DESCRIBED_BY) == ["Question"] and
              dialog.description == ASKED, f"the question is not described: {dialog.description}")
        buttons = pyatspi.findAllDescendants(dialog, lambda n: n.getRoleName() == "push button")
        bindings = {b.name: b.queryAction().getKeyBinding(0) for b in buttons}
        check(len(set(bindings.values())) == 4 and all(bindings.values()) and
              all(b.description for b in buttons), f"answers unkeyed or undescribed: {bindings}")
        check(targets(control(dialog, "label", "Send error reports:"),
                      pyatspi.RELATION_LABEL_FOR) == ["Always"], "the label names no answer")
        focus(control(dialog, "text", "Question"))
        for name in bindings:
            key(0xFF09)  # Tab
            node = control(dialog, "push button", name)
            wait_for(lambda: node.getState().contains(pyatspi.STATE_FOCUSED), f"Tab to {name}")
        key(0xFF0D)  # Return
        contents = window("dialog", CONTENTS)
        text = control(contents, "text", CONTENTS)
        shown, state = text.queryText().getText(0, -1), text.getState()
        check("Error 53" in shown and "error-log.txt" in shown, shown)
        check(contents.description.startswith("If you allow it, this report goes"),
              contents.description)
        check(not state.contains(pyatspi.STATE_EDITABLE) and text.queryText().caretOffset == 0 and
              any(n.getRoleName() == "scroll bar" and n.getState().contains(pyatspi.STATE_SHOWING)
                  for n in text.parent), "the report is editable, unscrolled or read from its end")
        focus(control(contents, "push button", "OK"))  # the keyboard to this window
        key(0xFF09)
        wait_for(lambda: text.getState().contains(pyatspi.STATE_FOCUSED), "Tab to the report")
        key(0xFF1B)  # Escape
        gone("dialog", CONTENTS)
        focus(control(dialog, "push button", "Always"))
        keys(dialog, "alt+t")
        gone("dialog", QUESTION)

    kept = len(outbox())
    raise_case(collector, "consent by keyboard", full[:4], consent_by_keyboard, 5)
    check(len(outbox()) == kept + 1, "\"This time\" kept no report")

    # At large text neither window cuts anything off; Enter closes the report.
    def consent_laid_out():
        dialog = question()
        laid_out(dialog)
        press(dialog, "push button", "Show what is sent")
        contents = window("dialog", CONTENTS)
        laid_out(contents, 2)
        keys(contents, "Return")
        press(window("dialog", QUESTION), "push button", "This time")

    raise_case(dict(collector, GDK_DPI_SCALE="1.5"), "consent at large text", full[:4],
               consent_laid_out, 5)

    # Alt+C is Cancel; a bad byte spoils only itself; a long text stays on
    # the screen, buttons on the right.
    def cancel():
        box = window("alert", "Tamberlin")
        shown = pyatspi.findDescendant(box, lambda n: n.getRoleName() == "label").name
        check("Caf\u00e9 \ufffd na\u00efve" in shown, shown)
        x, y, w, h = box.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        check(y >= 0 and y + h <= 768 and w <= 800, f"the box is {w}x{h} at {y}")
        retry, cancel = (control(box, "push button", n).queryComponent().getPosition(
            pyatspi.DESKTOP_COORDS) for n in ("Retry", "Cancel"))
        check(cancel[0] < retry[0] < 1024 and retry[1] + 30 <= 768, "buttons out of place")
        keys(box, "alt+c")
        press(window("dialog", DIALOG), "push button", "OK")

    long_text = "x" * 600 + " Caf\u00e9 \udcff na\u00efve" + "\nline" * 80
    raise_case(env, "Cancel", ["--number", "482", "--description", long_text], cancel, 5)

    # The main window: an action's dialog, its line in the status box, Exit.
    demo = Demo(env)
    try:
        main = window("frame", "Tamberlin")
        check(control(main, "text", "Information").queryText().caretOffset == 0,
              "the caret is not at the information's start")
        check(targets(control(main, "text", "What the error trap did"),
                      pyatspi.RELATION_LABELLED_BY) == ["What the error trap did:"],
              "the status box has no label")
        bindings = [n.queryAction().getKeyBinding(0) for n in pyatspi.findAllDescendants(
            main, lambda n: n.getRoleName() == "push button")]
        check(len(bindings) == 21 and all(bindings) and len(set(bindings)) == 21,
              f"access keys missing or shared: {bindings}")
        keys(main, "Escape")
        status = control(main, "text", "What the error trap did").queryText()
        press(main, "push button", "Divide by zero")
        check(windows("frame", "Tamberlin"), "Esc closed the main window")
        press(window("dialog", DIALOG), "push button", "OK")
        gone("dialog", DIALOG)
        wait_for(lambda: "Divide by zero" in status.getText(0, -1), "no status line")
        press(main, "push button", "Exit")
    except Exception as e:
        check(False, f"main window: {e}")
    demo.finish()


def screen_reader(env):
    """What Orca says as the dialog and then the question open, under a window
    manager that gives them the focus: the title, "dialog", and the message's
    (the question's) first sentence."""
    log = os.path.join(WORK, "orca.log")
    quiet = dict(stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    openbox = subprocess.Popen(["openbox"], **quiet)
    # Speech goes to the debug file only: no speech server is started (one
    # started here would outlive the test).
    orca = subprocess.Popen(["orca", "--debug-file=" + log], **quiet,
                            env=dict(env, HOME=WORK, SPEECHD_CMD="/bin/false"))
    try:
        wait_for(lambda: any(app and app.name == "orca" for app in
                             pyatspi.Registry.getDesktop(0)), "Orca did not start", 30)
        time.sleep(2)

        def opened():
            dialog = window("dialog", DIALOG)
            time.sleep(2)
            press(dialog, "push button", "OK")
            question = window("dialog", QUESTION)
            time.sleep(2)
            press(question, "push button", "This time")

        env = dict(env, TAMBERLIN_DSN="http://k@127.0.0.1:9/1")
        raise_case(env, "Orca", ["--number", "53", "--op", "opening the project"], opened, 5)
    finally:
        # The debug file is written whole only when Orca ends by itself.
        orca.terminate()
        try:
            orca.wait(10)
        except subprocess.TimeoutExpired:
            orca.kill()
            orca.wait()
        openbox.kill()
        openbox.wait()
    said = [line.split("SPEECH OUTPUT: ", 1)[1] for line in open(log, errors="replace")
            if "SPEECH OUTPUT: " in line]
    check(any(f"{DIALOG} dialog File not found opening the project." in line for line in said),
          f"Orca did not read the dialog: {said}")
    check(any(f"{QUESTION} dialog {ASKED}" in line for line in said),
          f"Orca did not read the question: {said}")

main()
