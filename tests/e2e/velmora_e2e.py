"""Drives the real velmora executable in a real X window, as a person does.

A Session starts Xvfb, the accessibility bus and velmora in a fresh installation folder, finds
windows and controls by their accessible names through AT-SPI, and sends real pointer and key
events with xdotool. Run inside `dbus-run-session`; see run_scenario.sh.
"""

import os
import shutil
import signal
import subprocess
import sys
import time

TIMEOUT = 15.0


class E2EFailure(AssertionError):
    pass


def wait_for(what, probe, timeout=TIMEOUT):
    """Calls probe() until it returns something true; fails naming `what` after `timeout`."""
    end = time.monotonic() + timeout
    while True:
        try:
            value = probe()
        except Exception:  # an accessible that went away while it was read
            value = None
        if value:
            return value
        if time.monotonic() > end:
            raise E2EFailure(f"timed out waiting for {what}")
        time.sleep(0.1)


class Session:
    def __init__(self, velmora, folder):
        self.velmora = velmora
        self.folder = folder
        self.processes = []
        self.app_process = None
        os.makedirs(folder, exist_ok=True)
        self._start_display()
        self._start_accessibility()
        global pyatspi
        import pyatspi  # connects to the accessibility bus at import: only once it runs

    # -- processes -----------------------------------------------------------------------

    def _spawn(self, argv, env=None):
        process = subprocess.Popen(argv, env=env, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL, start_new_session=True)
        self.processes.append(process)
        return process

    def _start_display(self):
        read_end, write_end = os.pipe()
        process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24",
             "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            start_new_session=True)
        self.processes.append(process)
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            number = pipe.readline().strip()
        if not number:
            raise E2EFailure("Xvfb did not start")
        self.display = ":" + number
        os.environ["DISPLAY"] = self.display
        runtime = os.path.join(self.folder, "runtime")
        os.makedirs(runtime, mode=0o700, exist_ok=True)
        os.environ["XDG_RUNTIME_DIR"] = runtime

    def _start_accessibility(self):
        self._spawn(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
        wait_for("the accessibility bus", lambda: subprocess.run(
            ["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
             "org.a11y.Bus.GetAddress"], capture_output=True).returncode == 0)

    def install_folder(self):
        return os.path.join(self.folder, "install")

    def start(self):
        """Starts velmora from a copy in the installation folder (its folder holds MASTER,
        PROJECTS and the settings file) and returns its main window."""
        install = self.install_folder()
        os.makedirs(install, exist_ok=True)
        program = os.path.join(install, "velmora")
        if not os.path.exists(program):
            shutil.copy2(self.velmora, program)
        env = dict(os.environ)
        env.pop("QT_QPA_PLATFORM", None)
        env.update(QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
                   QT_ACCESSIBILITY="1")
        self.app_process = self._spawn([program], env=env)
        self.app = wait_for("velmora on the accessibility bus", self._find_app)
        return self.window("Vostrel Velmora QS48203 DeviceNet-m / Modbus-s", prefix=True)

    def _find_app(self):
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            if app is not None and app.get_process_id() == self.app_process.pid:
                return app
        return None

    def wait_exit(self, timeout=TIMEOUT):
        try:
            return self.app_process.wait(timeout)
        except subprocess.TimeoutExpired:
            raise E2EFailure("velmora did not end")

    def close(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                try:
                    os.killpg(process.pid, signal.SIGTERM)
                except ProcessLookupError:
                    pass
        for process in self.processes:
            try:
                process.wait(5)
            except subprocess.TimeoutExpired:
                os.killpg(process.pid, signal.SIGKILL)
                process.wait()

    def screenshot(self, path):
        subprocess.run(["import", "-display", self.display, "-window", "root", path],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    # -- finding -------------------------------------------------------------------------

    def windows(self):
        return [w for w in self.app if w is not None]

    def window(self, title, prefix=False, timeout=TIMEOUT):
        """The showing top-level window whose caption is `title` (or starts with it)."""
        def probe():
            for w in self.windows():
                name = w.name or ""
                if (name.startswith(title) if prefix else name == title) and \
                        w.getState().contains(pyatspi.STATE_SHOWING):
                    return w
            return None
        return wait_for(f"the window '{title}'", probe, timeout)

    def gone(self, window, timeout=TIMEOUT):
        wait_for(f"the window '{window.name}' to close",
                 lambda: not any(w.name == window.name and
                                 w.getState().contains(pyatspi.STATE_SHOWING)
                                 for w in self.windows()), timeout)

    @staticmethod
    def all(root, role=None, name=None):
        found = []

        def walk(node):
            for child in node:
                if child is None:
                    continue
                if (role is None or child.getRoleName() == role) and \
                        (name is None or child.name == name):
                    found.append(child)
                walk(child)
        walk(root)
        return found

    def find(self, root, role, name, index=0):
        """The index-th showing control of `role` named `name` below `root`."""
        def probe():
            matches = [c for c in self.all(root, role, name)
                       if c.getState().contains(pyatspi.STATE_SHOWING)]
            return matches[index] if len(matches) > index else None
        return wait_for(f"{role} '{name}'", probe)

    # -- acting as a person --------------------------------------------------------------

    def click(self, control, double=False):
        box = control.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        x, y = box.x + box.width // 2, box.y + box.height // 2
        subprocess.run(["xdotool", "mousemove", "--sync", str(x), str(y)], check=True)
        subprocess.run(["xdotool", "click", "--repeat", "2" if double else "1", "1"], check=True)
        time.sleep(0.15)

    def type(self, text):
        subprocess.run(["xdotool", "type", "--delay", "15", text], check=True)
        time.sleep(0.1)

    def key(self, *keys):
        for key in keys:
            subprocess.run(["xdotool", "key", key], check=True)
            time.sleep(0.05)
        time.sleep(0.1)

    def press(self, root, name, index=0):
        self.click(self.find(root, "push button", name, index))

    def fill(self, field, text):
        """Replaces the text of an edit field by typing, as a person does."""
        self.click(field)
        self.key("ctrl+a")
        self.type(text)

    def choose(self, combo, item):
        """Opens a drop-down list with the pointer and picks `item` with the pointer."""
        self.click(combo)
        entry = self.find(self.app, "list item", item) if False else None
        def probe():
            for candidate in self.all(self.app, None, item):
                role = candidate.getRoleName()
                if role in ("list item", "menu item") and \
                        candidate.getState().contains(pyatspi.STATE_SHOWING):
                    return candidate
            return None
        entry = wait_for(f"the list item '{item}'", probe)
        self.click(entry)

    def message(self, title=None):
        """The message box showing now: its caption and text; its "OK" is pressed."""
        def probe():
            for w in self.windows():
                if w.getRoleName() in ("dialog", "alert") and \
                        w.getState().contains(pyatspi.STATE_SHOWING) and \
                        (title is None or w.name == title):
                    labels = [l.name for l in self.all(w, "label") if l.name]
                    if labels and self.all(w, "push button", "OK"):
                        return w, labels
            return None
        box, labels = wait_for("a message box", probe)
        caption = box.name
        self.press(box, "OK")
        self.gone(box)
        return caption, labels


def run(scenario):
    """Runs scenario(session) with the arguments of run_scenario.sh; on failure keeps a
    screenshot of the display beside the scenario's folder."""
    velmora, folder = sys.argv[1], sys.argv[2]
    shutil.rmtree(folder, ignore_errors=True)
    session = Session(velmora, folder)
    try:
        scenario(session)
    except BaseException:
        shot = folder.rstrip("/") + "-failure.png"
        session.screenshot(shot)
        print(f"screenshot of the display: {shot}", file=sys.stderr)
        raise
    finally:
        session.close()
    print(f"{os.path.basename(sys.argv[0])}: passed")
