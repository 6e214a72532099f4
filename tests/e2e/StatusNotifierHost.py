"""A desktop whose tray hosts icons through D-Bus StatusNotifierItem, as KDE
Plasma, LXQt, Xfce and GNOME's AppIndicator extension do: a private session
bus (dbus-daemon) and Xfce's panel with only its status tray plugin, which is
both the StatusNotifierWatcher and a host. Programs started by the session
after it get the bus's address."""
import os
import re
import shutil
import signal
import subprocess
import tempfile

import e2e

TOOLS = ("dbus-daemon", "dbus-send", "gdbus", "xfce4-panel")
WATCHER = "org.kde.StatusNotifierWatcher"
PANEL_CLASS = '("xfce4-panel" "Xfce4-panel")'
# One panel along the top edge of the screen, holding the status tray alone;
# a stored configuration also keeps the panel from asking how to set itself up.
PANEL_CONFIG = """<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=6;x=0;y=0"/>
      <property name="length" type="uint" value="100"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="icon-size" type="uint" value="22"/>
      <property name="size" type="uint" value="30"/>
      <property name="plugin-ids" type="array">
        <value type="int" value="1"/>
      </property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="systray"/>
  </property>
</channel>
"""
LABEL = re.compile(r"'label': <'((?:[^'\\]|\\.)*)'>, 'visible': <(true|false)>")


class StatusNotifierHost:
    """The bus and the panel for a Session; a context manager, entered after the session."""

    def __init__(self, session):
        self.session = session
        self.groups = []

    def __enter__(self):
        for tool in TOOLS:
            if not shutil.which(tool):
                e2e.skip(f"{tool} is not installed (scripts/install-deps)")
        session = self.session
        config = os.path.join(session.env["XDG_CONFIG_HOME"], "xfce4", "xfconf", "xfce-perchannel-xml")
        os.makedirs(config)
        with open(os.path.join(config, "xfce4-panel.xml"), "w") as file:
            file.write(PANEL_CONFIG)
        # No accessibility bus of its own for the panel: nothing here reads it.
        session.env["NO_AT_BRIDGE"] = "1"
        address = f"unix:path={os.path.join(session.home, 'session-bus')}"
        bus = self._start(["dbus-daemon", "--session", "--nofork", "--nopidfile", f"--address={address}",
                           "--print-address"], stdout=subprocess.PIPE, text=True)
        if not bus.stdout.readline().startswith("unix:"):
            e2e.fail("the session bus did not start")
        session.env["DBUS_SESSION_BUS_ADDRESS"] = address
        # No window manager runs here: the panel need not wait for one.
        self.log = tempfile.TemporaryFile(mode="w+")
        self._start(["xfce4-panel", "--disable-wm-check"], stdout=self.log, stderr=subprocess.STDOUT)
        e2e.wait_for("the panel's status tray as StatusNotifierWatcher and host",
                     lambda: self.watcher_property("IsStatusNotifierHostRegistered") == "true", timeout=30)
        return self

    def __exit__(self, *error):
        # The panel's plugin and the services the bus started run in these groups too.
        for group in reversed(self.groups):
            try:
                os.killpg(group, signal.SIGKILL)
            except ProcessLookupError:
                pass
        return False

    def _start(self, args, **popen):
        process = self.session.spawn(None, args, start_new_session=True, **popen)
        self.groups.append(process.pid)
        return process

    def panel_log(self):
        self.log.seek(0)
        return self.log.read()

    def watcher_property(self, name):
        """A property of the watcher as dbus-send prints its value, or None."""
        result = subprocess.run(["dbus-send", "--session", "--print-reply", f"--dest={WATCHER}", "/StatusNotifierWatcher",
                                 "org.freedesktop.DBus.Properties.Get", f"string:{WATCHER}", f"string:{name}"],
                                env=self.session.env, capture_output=True, text=True)
        if result.returncode != 0:
            return None
        values = re.findall(r'(?:boolean|string) "?([^"\s]+)"?', result.stdout)
        return " ".join(values)

    def items(self):
        """The registered items as (bus name, object path)."""
        found = []
        for item in (self.watcher_property("RegisteredStatusNotifierItems") or "").split():
            name, _, path = item.partition("/")
            found.append((name, "/" + path))
        return found

    def item_property(self, item, name):
        result = subprocess.run(["gdbus", "call", "--session", "--dest", item[0], "--object-path", item[1], "--method",
                                 "org.freedesktop.DBus.Properties.Get", "org.kde.StatusNotifierItem", name],
                                env=self.session.env, capture_output=True, text=True)
        return result.stdout.strip() if result.returncode == 0 else None

    def menu_labels(self, item):
        """The labels of the item's menu that are visible, as a host reads them
        over D-Bus (com.canonical.dbusmenu) without opening the menu first."""
        menu = re.search(r"objectpath '([^']+)'", self.item_property(item, "Menu") or "")
        if not menu:
            e2e.fail(f"the item {item} names no menu")
        result = subprocess.run(["gdbus", "call", "--session", "--dest", item[0], "--object-path", menu.group(1),
                                 "--method", "com.canonical.dbusmenu.GetLayout", "0", "--", "-1", "['label', 'visible']"],
                                env=self.session.env, capture_output=True, text=True)
        if result.returncode != 0:
            e2e.fail(f"the item's menu could not be read: {result.stderr.strip()}")
        return [label for label, visible in LABEL.findall(result.stdout) if visible == "true"]

    def panel(self):
        """The panel's window."""
        for window in self.session.windows(wclass=PANEL_CLASS):
            if window.width > 100:
                return window
        return None
