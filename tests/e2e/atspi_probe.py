#!/usr/bin/python3
"""A screen reader's view: finds the program whose pid is its first argument on
the accessibility bus, reads its menus, the page's landmarks, headings, search
field and alert, opens the About dialog through its menu item's action, and
prints all that as JSON."""
import json
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

Role = Atspi.Role


def children(node):
    return [c for c in (node.get_child_at_index(i) for i in range(node.get_child_count())) if c]


def walk(node):
    yield node
    for child in children(node):
        yield from walk(child)


def attribute(node, name):
    return (node.get_attributes() or {}).get(name)


def text(node):
    """What a screen reader would read for a node and what it holds."""
    iface = node.get_text_iface()
    own = iface.get_text(0, -1).replace("\ufffc", "").strip() if iface else ""
    return " ".join(filter(None, [own] + [text(child) for child in children(node)]))


def until(find, what, timeout=90, seen=lambda: ""):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if found := find():
            return found
        time.sleep(0.2)
    sys.exit(f"not found on the accessibility bus: {what}{seen()}")


def fresh(node):
    """The node with what libatspi cached of it dropped: a change announced
    while this probe was starting up is otherwise missed for good."""
    node.clear_cache()
    return node


app = until(lambda: next((a for a in children(fresh(Atspi.get_desktop(0)))
                          if a.get_process_id() == int(sys.argv[1])), None), "the program",
            seen=lambda: f"; there: {[(a.get_name(), a.get_process_id()) for a in children(Atspi.get_desktop(0))]}")
# The page's headings come once its scripts have drawn the first screen.
document = until(lambda: next((n for n in walk(fresh(app)) if n.get_role() == Role.DOCUMENT_WEB and
                               any(h.get_role() == Role.HEADING for h in walk(n))), None), "the page")
seen = {"document": document.get_name(), "menus": {}, "landmarks": [], "headings": [], "search": [],
        "alerts": []}
bar = next(n for n in walk(app) if n.get_role() == Role.MENU_BAR)
for menu in children(bar):
    # GTK gives a shortcut as "mnemonic;sequence;accelerator".
    seen["menus"][menu.get_name()] = [
        [item.get_name(), (item.get_action_iface().get_key_binding(0) or "").split(";")[-1],
         item.get_state_set().contains(Atspi.StateType.SENSITIVE)]
        for item in children(menu) if item.get_role() == Role.MENU_ITEM]
for node in walk(document):
    role, xml_role = node.get_role(), attribute(node, "xml-roles")
    if role == Role.LANDMARK:
        seen["landmarks"].append([xml_role, node.get_name()])
        if xml_role == "search":
            seen["search"] = [[n.get_role_name(), n.get_name()] for n in walk(node)
                              if n.get_role() in (Role.ENTRY, Role.COMBO_BOX)]
    elif role == Role.HEADING:
        seen["headings"].append([int(attribute(node, "level") or 0), node.get_name()])
    elif xml_role == "alert":
        seen["alerts"].append(text(node))

next(n for n in walk(bar) if n.get_name().startswith("About ")).get_action_iface().do_action(0)
dialog = until(lambda: next((w for w in children(app) if w.get_role() == Role.DIALOG), None), "About")
seen["about"] = {"name": dialog.get_name(),
                 "labels": [n.get_name() for n in walk(dialog) if n.get_role() == Role.LABEL]}
print(json.dumps(seen))
