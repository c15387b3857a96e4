"""Drives the real velmora executable in a real X window, as a person does.

A Session starts Xvfb, the accessibility bus and velmora in a fresh installation folder, finds
windows and controls by their accessible names through AT-SPI, and sends real pointer and key
events with xdotool. Every action waits for the state it brings about (a window shown, a text
typed, an item chosen) instead of sleeping. Run inside `dbus-run-session`; see run_scenario.sh.
"""

import ctypes
import os
import shutil
import signal
import subprocess
import sys
import time

TIMEOUT = 20.0
# A whole scenario gives up after this long, below the CTest timeout, so that it still takes
# its screenshot and stops what it started.
SCENARIO_LIMIT = 100

CAPTION = "Vostrel Velmora QS48203 DeviceNet-m / Modbus-s"


class E2EFailure(AssertionError):
    pass


_started = time.monotonic()


def trace(text):
    """With VELMORA_E2E_TRACE=1, tells on standard error what the scenario is waiting for."""
    if os.environ.get("VELMORA_E2E_TRACE"):
        print(f"{time.monotonic() - _started:7.2f} {text}", file=sys.stderr)


def wait_for(what, probe, timeout=TIMEOUT):
    """Calls probe() until it returns something true; fails naming `what` after `timeout`."""
    trace(f"waiting for {what}")
    end = time.monotonic() + timeout
    while True:
        try:
            value = probe()
        except E2EFailure:
            raise
        except Exception as error:  # an accessible that went away while it was read
            trace(f"  ({what}: {error!r})")
            value = None
        if value:
            return value
        if time.monotonic() > end:
            raise E2EFailure(f"timed out waiting for {what}")
        time.sleep(0.05)


def expect_equal(what, actual, expected):
    if actual != expected:
        raise E2EFailure(f"{what}:\n  expected {expected!r}\n  found    {actual!r}")


def _stop_with_parent():
    """In a started child: asks the kernel for SIGTERM when the scenario's process dies, so
    that nothing outlives a scenario that was killed."""
    PR_SET_PDEATHSIG = 1
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGTERM)


class Session:
    def __init__(self, velmora, folder):
        self.velmora = velmora
        self.folder = folder
        self.processes = []
        self.app_process = None
        self.display = None

    def open(self):
        """Starts the display and the accessibility bus."""
        os.makedirs(self.folder, exist_ok=True)
        self._start_display()
        self._start_accessibility()
        global pyatspi
        import pyatspi  # connects to the accessibility bus at import: only once it runs

    # -- processes -----------------------------------------------------------------------

    def _spawn(self, argv, env=None, **options):
        """Starts a process whose output goes to a log in the scenario's folder."""
        log = os.path.join(self.folder, os.path.basename(argv[0]) + ".log")
        with open(log, "ab") as output:
            process = subprocess.Popen(argv, env=env, stdout=output, stderr=subprocess.STDOUT,
                                       start_new_session=True, preexec_fn=_stop_with_parent,
                                       **options)
        self.processes.append(process)
        return process

    def _start_display(self):
        runtime = os.path.join(self.folder, "runtime")
        os.makedirs(runtime, mode=0o700, exist_ok=True)
        os.environ["XDG_RUNTIME_DIR"] = runtime
        if os.environ.get("VELMORA_E2E_DISPLAY"):  # a display to watch the scenario on
            self.display = os.environ["VELMORA_E2E_DISPLAY"]
            os.environ["DISPLAY"] = self.display
            return
        read_end, write_end = os.pipe()
        # -noreset: the server would otherwise start over whenever its last client leaves (the
        # accessibility launcher, velmora at "X"), refusing whoever connects meanwhile.
        self._spawn(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24",
                     "-nolisten", "tcp", "-noreset"], pass_fds=(write_end,))
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            number = pipe.readline().strip()
        if not number:
            raise E2EFailure("Xvfb did not start")
        self.display = ":" + number
        os.environ["DISPLAY"] = self.display

    def _start_accessibility(self):
        # Our own launcher, with this scenario's runtime folder and display, must own the name
        # before anyone asks for the bus: a question before that would have the session bus
        # start a launcher of its own, whose socket in the home folder every scenario shares.
        self._spawn(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])

        def launched():
            reply = subprocess.run(
                ["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus",
                 "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner",
                 "string:org.a11y.Bus"], capture_output=True, text=True)
            return reply.returncode == 0 and "boolean true" in reply.stdout
        wait_for("the accessibility bus", launched)

    def install_folder(self):
        return os.path.join(self.folder, "install")

    def project_file(self, project, *names):
        return os.path.join(self.install_folder(), "PROJECTS", project, *names)

    def start(self):
        """Starts velmora from a copy in the installation folder (its folder holds MASTER,
        PROJECTS and the settings file) and returns its main window."""
        install = self.install_folder()
        os.makedirs(install, exist_ok=True)
        program = os.path.join(install, "velmora")
        if not os.path.exists(program):
            shutil.copy2(self.velmora, program)
        env = dict(os.environ)
        env.update(QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
                   QT_ACCESSIBILITY="1")
        self.app_process = self._spawn([program], env=env)
        self.app = wait_for("velmora on the accessibility bus", self._find_app)
        return self.window(CAPTION, prefix=True)

    def _find_app(self):
        if self.app_process.poll() is not None:
            with open(os.path.join(self.folder, "velmora.log"), errors="replace") as log:
                raise E2EFailure(f"velmora ended at start with status "
                                 f"{self.app_process.returncode}:\n{log.read()}")
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
        """Stops every process the session started, newest first, each with its group."""
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
        if self.display:
            subprocess.run(["import", "-display", self.display, "-window", "root", path],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)

    # -- finding -------------------------------------------------------------------------

    def windows(self):
        return [w for w in self.app if w is not None]

    @staticmethod
    def showing(accessible):
        return accessible.getState().contains(pyatspi.STATE_SHOWING)

    def window(self, title, prefix=False, timeout=TIMEOUT):
        """The showing top-level window whose caption is `title` (or starts with it)."""
        def probe():
            for w in self.windows():
                name = w.name or ""
                if (name.startswith(title) if prefix else name == title) and self.showing(w):
                    return w
            return None
        return wait_for(f"the window '{title}'", probe, timeout)

    def gone(self, window, timeout=TIMEOUT):
        name = window.name
        wait_for(f"the window '{name}' to close",
                 lambda: not any(w.name == name and self.showing(w) for w in self.windows()),
                 timeout)

    def all(self, root, role=None, name=None):
        """The controls of `role` named `name` below `root` (None matches any). A hidden
        subtree (a tab page behind another) is not entered, nor are the cells of a grid and the
        items of a list unless list items are looked for: each step costs a call on the bus."""
        found = []
        closed = {"table"} | (set() if role in (None, "list item") else {"list"})

        def walk(node):
            for child in node:
                if child is None:
                    continue
                child_role = child.getRoleName()
                if (role is None or child_role == role) and (name is None or child.name == name):
                    found.append(child)
                if child_role not in closed and (child_role == "list" or self.showing(child)):
                    walk(child)
        walk(root)
        return found

    def find(self, root, role, name):
        """The first showing control of `role` named `name` below `root`."""
        return wait_for(f"{role} '{name}'", lambda: next(
            (c for c in self.all(root, role, name) if self.showing(c)), None))

    def field(self, root, label, index=0):
        """The field (edit field, drop-down list, list) whose label is the index-th showing
        label `label` below `root`: the label is its buddy, as a screen reader finds it."""
        def probe():
            labels = [l for l in self.all(root, "label", label) if self.showing(l)]
            if len(labels) <= index:
                return None
            for relation in labels[index].getRelationSet():
                if relation.getRelationType() == pyatspi.RELATION_LABEL_FOR:
                    return relation.getTarget(0)
            raise E2EFailure(f"the label '{label}' names no field: it is no field's buddy")
        return wait_for(f"the field labelled '{label}'", probe)

    @staticmethod
    def text_of(field):
        return field.queryText().getText(0, -1)

    def combo_value(self, combo):
        """The text a drop-down list shows: its edit part's, or its chosen item's."""
        edits = self.all(combo, "text")
        if edits:
            return self.text_of(edits[0])
        chosen = [item for item in self.all(combo, "list item")
                  if item.getState().contains(pyatspi.STATE_SELECTED)]
        return chosen[0].name if chosen else None

    # -- acting as a person --------------------------------------------------------------

    def click(self, control, at_right=False):
        """Clicks the middle of `control` (or near its right end, where a drop-down list has
        its arrow) with the pointer."""
        box = control.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        x = box.x + (box.width - 8 if at_right else box.width // 2)
        y = box.y + box.height // 2
        trace(f"click {control.getRoleName()} '{control.name}' at {x}, {y}")
        subprocess.run(["xdotool", "mousemove", str(x), str(y), "click", "1"], check=True)

    def type(self, text):
        trace(f"type '{text}'")
        subprocess.run(["xdotool", "type", "--delay", "15", text], check=True)

    def key(self, *keys):
        trace(f"key {' '.join(keys)}")
        subprocess.run(["xdotool", "key", "--delay", "30", *keys], check=True)

    def press(self, root, name):
        """Presses the button `name` with the pointer."""
        self.click(self.find(root, "push button", name))

    def fill(self, field, text):
        """Replaces the text of an edit field by typing, as a person does."""
        self.click(field)
        wait_for("the field to take the focus",
                 lambda: field.getState().contains(pyatspi.STATE_FOCUSED))
        self.key("ctrl+a")
        self.type(text)
        wait_for(f"the field to read '{text}'", lambda: self.text_of(field) == text)

    def choose(self, combo, item):
        """Opens a drop-down list with the pointer and picks `item` with the pointer."""
        self.click(combo, at_right=True)
        entry = wait_for(f"the list item '{item}' to show", lambda: next(
            (c for c in self.all(combo, "list item", item)
             if self.showing(c) and self._popup_open(combo)), None))
        self.click(entry)
        # A list opened by a click may take a release that comes at once for the end of a
        # drag and stay open: the item is then clicked again.
        try:
            wait_for("the list to close", lambda: not self._popup_open(combo), TIMEOUT / 4)
        except E2EFailure:
            self.click(entry)
        wait_for(f"the list to show '{item}'", lambda: not self._popup_open(combo) and
                 self.combo_value(combo) == item)

    def _popup_open(self, combo):
        return any(self.showing(lst) for lst in self.all(combo, "list"))

    def check(self, radio):
        """Clicks a radio button and waits until it is the chosen one."""
        self.click(radio)
        wait_for(f"'{radio.name}' to be chosen",
                 lambda: radio.getState().contains(pyatspi.STATE_CHECKED))

    def select(self, item):
        """Clicks an item of a list or a tab and waits until it is selected."""
        self.click(item)
        wait_for(f"'{item.name}' to be selected",
                 lambda: item.getState().contains(pyatspi.STATE_SELECTED))

    @staticmethod
    def _grid_place(table, column, row):
        """The model row and column of the cell under the heading `column` in the row headed
        `row`."""
        cells = table.queryTable()
        columns = [c for c in range(cells.nColumns) if cells.getColumnHeader(c).name == column]
        rows = [r for r in range(cells.nRows) if cells.getRowHeader(r).name == row]
        if not columns or not rows:
            raise E2EFailure(f"the grid has no column '{column}' or no row '{row}'")
        return rows[0], columns[0]

    def grid_text(self, table, column, row):
        r, c = self._grid_place(table, column, row)
        return table.queryTable().getAccessibleAt(r, c).name

    def type_rows(self, table, rows):
        """Types rows into a grid from its first row, as in a spreadsheet: a click on the row's
        first cell, then the values with Tab between cells and Enter after the last."""
        for number, row in enumerate(rows, start=1):
            columns = list(row)
            r, c = self._grid_place(table, columns[0], str(number))
            self.click(table.queryTable().getAccessibleAt(r, c))
            for i, column in enumerate(columns):
                self.type(row[column])
                self.key("Return" if i == len(columns) - 1 else "Tab")
        wait_for("the typed rows in the grid", lambda: all(
            self.grid_text(table, column, str(number)) == text
            for number, row in enumerate(rows, start=1) for column, text in row.items()))

    def message(self):
        """The message box showing now, as (caption, text); its "OK" is then pressed."""
        def probe():
            for w in self.windows():
                if w.getRoleName() in ("dialog", "alert") and self.showing(w):
                    labels = [l.name for l in self.all(w, "label") if l.name]
                    if labels and self.all(w, "push button", "OK") and \
                            not self.all(w, "push button", "Cancel"):
                        return w, labels
            return None
        box, labels = wait_for("a message box", probe)
        caption = box.name
        self.press(box, "OK")
        self.gone(box)
        return caption, "\n".join(labels)

    def new_project(self, main, name):
        """Creates the project `name` with "New project" and waits for the caption naming it."""
        self.press(main, "New project")
        dialog = self.window("New project")
        self.fill(self.field(dialog, "Project name"), name)
        self.press(dialog, "OK")
        self.gone(dialog)
        self.window(f"{CAPTION} :{name}")

    def new_register(self, dialog, node, index, high=None, low=None):
        """On the front page of the register map dialog: selects the node item `node`, types
        the index, chooses the high and low bytes given and presses "New"; waits for the new
        register's item."""
        self.select(self.find(dialog, "list item", node))
        registers = self.field(dialog, "MODBUS")
        number = len(self.all(registers, "list item"))
        self.fill(self.field(dialog, "Index MODBUS"), index)
        for label, byte in (("High MODBUS Byte", high), ("Low MODBUS Byte", low)):
            if byte:
                self.choose(self.field(dialog, label), byte)
        self.press(dialog, "New")
        self.find(registers, "list item", f"Ind Mb {number}")

    # -- files -----------------------------------------------------------------------------

    def wait_file(self, path):
        """The bytes of `path` once it exists (a document is written when its dialog closes)."""
        wait_for(f"the file {path}", lambda: os.path.exists(path))
        with open(path, "rb") as f:
            return f.read()


def run(scenario):
    """Runs scenario(session) with the arguments of run_scenario.sh; on failure keeps a
    screenshot of the display beside the scenario's folder."""
    velmora, folder = sys.argv[1], sys.argv[2]
    shutil.rmtree(folder, ignore_errors=True)
    shot = folder.rstrip("/") + "-failure.png"
    if os.path.exists(shot):
        os.remove(shot)

    def give_up(signum, frame):
        raise E2EFailure(f"the scenario took longer than {SCENARIO_LIMIT} s")
    signal.signal(signal.SIGALRM, give_up)
    signal.signal(signal.SIGTERM, give_up)
    signal.alarm(SCENARIO_LIMIT)
    session = Session(velmora, folder)
    try:
        session.open()
        scenario(session)
    except BaseException:
        session.screenshot(shot)
        print(f"screenshot of the display: {shot}", file=sys.stderr)
        raise
    finally:
        signal.alarm(0)
        session.close()
    print(f"{os.path.basename(sys.argv[0])}: passed")
