#!/usr/bin/python3
"""An assistive-technology client: finds the program whose pid is its first
argument on the accessibility bus, reads its menus, the page's landmarks,
headings, search field and alert, opens the About dialog through its menu
item's action and reads it, and prints all that as JSON."""
import json
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

pid = int(sys.argv[1])


def children(node):
    for i in range(node.get_child_count()):
        child = node.get_child_at_index(i)
        if child is not None:
            yield child


def walk(node):
    yield node
    for child in children(node):
        yield from walk(child)


def attribute(node, name):
    return (node.get_attributes() or {}).get(name)


def text(node):
    """The text a screen reader would read for a node and what it holds."""
    iface = node.get_text_iface()
    own = iface.get_text(0, -1) if iface else ""
    return " ".join(filter(None, [own.replace("\ufffc", "").strip()] +
                           [text(child) for child in children(node)]))


def until(find, what, timeout=90):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        found = find()
        if found:
            return found
        time.sleep(0.2)
    sys.exit(f"not found on the accessibility bus: {what}")


def application():
    desktop = Atspi.get_desktop(0)
    return next((app for app in children(desktop) if app.get_process_id() == pid), None)


def page_ready(app):
    # The page's headings come once its scripts have drawn the first screen.
    return next((n for n in walk(app) if n.get_role() == Atspi.Role.DOCUMENT_WEB and
                 any(h.get_role() == Atspi.Role.HEADING for h in walk(n))), None)


app = until(application, "the program")
document = until(lambda: page_ready(app), "the page with its headings")
result = {"application": app.get_name(), "document": document.get_name(), "menus": {},
          "landmarks": [], "headings": [], "search": [], "alerts": []}

bar = next(n for n in walk(app) if n.get_role() == Atspi.Role.MENU_BAR)
for menu in children(bar):
    items = []
    for item in children(menu):
        if item.get_role() != Atspi.Role.MENU_ITEM:
            continue
        action = item.get_action_iface()
        binding = action.get_key_binding(0) if action and action.get_n_actions() else ""
        # GTK gives "mnemonic;sequence;accelerator".
        items.append([item.get_name(), binding.split(";")[-1]])
    result["menus"][menu.get_name()] = items

for node in walk(document):
    role = node.get_role()
    if role == Atspi.Role.LANDMARK:
        result["landmarks"].append([attribute(node, "xml-roles"), node.get_name()])
        if attribute(node, "xml-roles") == "search":
            result["search"] = [[n.get_role_name(), n.get_name()] for n in walk(node)
                                if n.get_role() in (Atspi.Role.ENTRY, Atspi.Role.COMBO_BOX)]
    elif role == Atspi.Role.HEADING:
        result["headings"].append([int(attribute(node, "level") or 0), node.get_name()])
    elif attribute(node, "xml-roles") == "alert":
        result["alerts"].append(text(node))

about = next(n for n in walk(bar) if n.get_name().startswith("About "))
about.get_action_iface().do_action(0)
dialog = until(lambda: next((w for w in children(app) if w.get_role() == Atspi.Role.DIALOG), None),
               "the About dialog")
result["about"] = {"name": dialog.get_name(),
                   "labels": [n.get_name() for n in walk(dialog) if n.get_role() == Atspi.Role.LABEL]}
print(json.dumps(result))
