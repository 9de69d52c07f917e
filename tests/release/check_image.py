#!/usr/bin/env python3
"""Static check of the built updater image: its size, PE headers, imports and resources.

usage: check_image.py EXE --size N --machine {i386,x86_64}

Reads the PE file itself (no objdump), so that the check does not depend on the toolchain that
made the file. Prints every finding and exits 1 when any check fails.
"""
import argparse
import struct
import sys
import xml.etree.ElementTree as ElementTree

MACHINES = {"i386": (0x14C, 0x10B), "x86_64": (0x8664, 0x20B)}  # machine, optional-header magic
ALLOWED_DLLS = {"KERNEL32.DLL", "USER32.DLL", "GDI32.DLL", "ADVAPI32.DLL"}
RT_ICON, RT_DIALOG, RT_GROUP_ICON, RT_MANIFEST = 3, 5, 14, 24
LANG_JAPANESE = 0x411

# The update dialog, as the program's user interface is laid out.
WS_CHILD, WS_VISIBLE, WS_SYSMENU, WS_TABSTOP, WS_GROUP = 0x40000000, 0x10000000, 0x80000, 0x10000, 0x20000
DS_SETFONT, BS_DEFPUSHBUTTON, BS_PUSHBUTTON, SS_CENTER = 0x40, 0x1, 0x0, 0x1
DIALOG = {
    "style": 0x50080040,
    "exStyle": 0,
    "rect": (0, 0, 230, 224),
    "menu": "",
    "class": "",
    "title": "",
    "font": (8, 400, 0, 128, "ＭＳ Ｐゴシック"),
}
CONTROLS = [
    # id, class ordinal, style, x, y, cx, cy, text
    (1, 0x80, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 55, 201, 50, 16, "実行"),
    (2, 0x80, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 126, 201, 50, 16, "キャンセル"),
    (1000, 0x82, WS_CHILD | WS_VISIBLE | WS_GROUP | SS_CENTER, 7, 189, 216, 8, ""),
]
CLASS_NAMES = {0x80: "BUTTON", 0x82: "STATIC"}
ICON_SIZES = [16, 32, 48]


class Failures:
    def __init__(self):
        self.count = 0

    def check(self, ok, what):
        print(("ok      " if ok else "FAILED  ") + what)
        if not ok:
            self.count += 1
        return ok


class Image:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise ValueError("no MZ signature")
        self.pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[self.pe:self.pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        coff = self.pe + 4
        (self.machine, sections, _, _, _, optional_size, self.characteristics) = struct.unpack_from(
            "<HHIIIHH", data, coff)
        self.optional = coff + 20
        self.magic = struct.unpack_from("<H", data, self.optional)[0]
        if self.magic == 0x10B:
            self.subsystem = struct.unpack_from("<H", data, self.optional + 68)[0]
            count_at = self.optional + 92
        elif self.magic == 0x20B:
            self.subsystem = struct.unpack_from("<H", data, self.optional + 68)[0]
            count_at = self.optional + 108
        else:
            raise ValueError("unknown optional header magic %#x" % self.magic)
        count = struct.unpack_from("<I", data, count_at)[0]
        self.directories = [struct.unpack_from("<II", data, count_at + 4 + 8 * i) for i in range(count)]
        self.sections = []
        table = self.optional + optional_size
        for i in range(sections):
            name, vsize, va, rawsize, rawptr = struct.unpack_from("<8sIIII", data, table + 40 * i)
            self.sections.append((name.rstrip(b"\0").decode("ascii", "replace"), va, max(vsize, rawsize), rawptr, rawsize))

    def offset(self, rva):
        for _, va, size, rawptr, rawsize in self.sections:
            if va <= rva < va + size:
                if rva - va >= rawsize:
                    raise ValueError("RVA %#x lies in uninitialised data" % rva)
                return rawptr + rva - va
        raise ValueError("RVA %#x is in no section" % rva)

    def directory(self, index):
        return self.directories[index] if index < len(self.directories) else (0, 0)

    def cstring(self, rva):
        start = self.offset(rva)
        end = self.data.index(b"\0", start)
        return self.data[start:end].decode("latin-1")

    def imported_dlls(self):
        rva, size = self.directory(1)
        dlls = []
        if not rva:
            return dlls
        at = self.offset(rva)
        while True:
            lookup, _, _, name, thunks = struct.unpack_from("<IIIII", self.data, at)
            if not (lookup or name or thunks):
                return dlls
            dlls.append(self.cstring(name))
            at += 20

    def delay_imported_dlls(self):
        rva, _ = self.directory(13)
        dlls = []
        if not rva:
            return dlls
        at = self.offset(rva)
        while True:
            fields = struct.unpack_from("<8I", self.data, at)
            if not any(fields):
                return dlls
            dlls.append(self.cstring(fields[1]))
            at += 32

    def resources(self):
        """{(type, name, language): bytes}; names are upper-case text or integer ids."""
        rva, _ = self.directory(2)
        if not rva:
            return {}
        base = self.offset(rva)
        found = {}

        def entry_name(value):
            if value & 0x80000000:
                at = base + (value & 0x7FFFFFFF)
                length = struct.unpack_from("<H", self.data, at)[0]
                return self.data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
            return value

        def walk(at, path):
            named, ids = struct.unpack_from("<HH", self.data, at + 12)
            for i in range(named + ids):
                name, target = struct.unpack_from("<II", self.data, at + 16 + 8 * i)
                key = path + (entry_name(name),)
                if target & 0x80000000:
                    walk(base + (target & 0x7FFFFFFF), key)
                else:
                    data_rva, size = struct.unpack_from("<II", self.data, base + target)
                    start = self.offset(data_rva)
                    found[key] = self.data[start:start + size]

        walk(base, ())
        return found


def find_resource(resources, kind, name):
    return {key: value for key, value in resources.items()
            if key[0] == kind and (key[1] == name or (isinstance(key[1], str) and key[1].upper() == name))}


def read_sz_or_ord(data, at):
    """A dialog template's name field: (value, next offset); value is '', an int or a text."""
    first = struct.unpack_from("<H", data, at)[0]
    if first == 0:
        return "", at + 2
    if first == 0xFFFF:
        return struct.unpack_from("<H", data, at + 2)[0], at + 4
    end = at
    while struct.unpack_from("<H", data, end)[0] != 0:
        end += 2
    return data[at:end].decode("utf-16-le"), end + 2


def parse_dialog_ex(data):
    version, signature, _help, ex_style, style, count, x, y, cx, cy = struct.unpack_from("<HHIIIHhhhh", data, 0)
    if (version, signature) != (1, 0xFFFF):
        raise ValueError("not an extended dialog template")
    at = 26
    menu, at = read_sz_or_ord(data, at)
    window_class, at = read_sz_or_ord(data, at)
    title, at = read_sz_or_ord(data, at)
    font = None
    if style & DS_SETFONT:
        points, weight, italic, charset = struct.unpack_from("<HHBB", data, at)
        face, at = read_sz_or_ord(data, at + 6)
        font = (points, weight, italic, charset, face)
    controls = []
    for _ in range(count):
        at = (at + 3) & ~3
        _help, c_ex_style, c_style, c_x, c_y, c_cx, c_cy, c_id = struct.unpack_from("<IIIhhhhI", data, at)
        control_class, at = read_sz_or_ord(data, at + 24)
        text, at = read_sz_or_ord(data, at)
        extra = struct.unpack_from("<H", data, at)[0]
        at += 2 + extra
        controls.append({"id": c_id, "exStyle": c_ex_style, "style": c_style,
                         "rect": (c_x, c_y, c_cx, c_cy), "class": control_class, "text": text})
    return {"style": style, "exStyle": ex_style, "rect": (x, y, cx, cy), "menu": menu,
            "class": window_class, "title": title, "font": font, "controls": controls}


def check_dialog(result, resources):
    dialogs = find_resource(resources, RT_DIALOG, "MAIN_MENU")
    if not result.check(len(dialogs) == 1, "one dialog template MAIN_MENU (found %d)" % len(dialogs)):
        return
    (key, data), = dialogs.items()
    result.check(key[2] == LANG_JAPANESE, "MAIN_MENU language Japanese (%#x)" % key[2])
    try:
        dialog = parse_dialog_ex(data)
    except (ValueError, struct.error) as error:
        result.check(False, "MAIN_MENU parses as an extended dialog template: %s" % error)
        return
    for field, expected in DIALOG.items():
        shown = (lambda v: "%#x" % v) if field in ("style", "exStyle") else repr
        result.check(dialog[field] == expected,
                     "MAIN_MENU %s %s (expected %s)" % (field, shown(dialog[field]), shown(expected)))
    controls = dialog["controls"]
    result.check(len(controls) == len(CONTROLS), "MAIN_MENU has %d controls (expected %d)" % (len(controls), len(CONTROLS)))
    for control, (cid, ordinal, style, x, y, cx, cy, text) in zip(controls, CONTROLS):
        got_class = control["class"]
        class_ok = got_class == ordinal or (isinstance(got_class, str) and got_class.upper() == CLASS_NAMES[ordinal])
        what = "control %d" % cid
        result.check(control["id"] == cid, "%s: id %d" % (what, control["id"]))
        result.check(class_ok, "%s: class %r" % (what, got_class))
        result.check(control["style"] == style, "%s: style %#x (expected %#x)" % (what, control["style"], style))
        result.check(control["exStyle"] == 0, "%s: extended style %#x" % (what, control["exStyle"]))
        result.check(control["rect"] == (x, y, cx, cy), "%s: position and size %r" % (what, control["rect"]))
        result.check(control["text"] == text, "%s: text %r (expected %r)" % (what, control["text"], text))


def icon_image_size(data):
    """(width, height) of one RT_ICON image: a PNG or a DIB whose height covers the mask too."""
    if data[:8] == b"\x89PNG\r\n\x1a\n":
        return struct.unpack_from(">II", data, 16)
    header_size, width, height = struct.unpack_from("<Iii", data, 0)
    if header_size < 40:
        raise ValueError("unknown icon image header")
    return width, height // 2


def check_icon(result, resources):
    groups = find_resource(resources, RT_GROUP_ICON, "M_ICON")
    if not result.check(len(groups) == 1, "one icon group M_ICON (found %d)" % len(groups)):
        return
    (_, data), = groups.items()
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    result.check((reserved, kind) == (0, 1), "M_ICON is an icon directory")
    sizes = []
    for i in range(count):
        width, height, _, _, _, _, size, icon_id = struct.unpack_from("<BBBBHHIH", data, 6 + 14 * i)
        width, height = width or 256, height or 256
        sizes.append(width)
        result.check(width == height, "M_ICON image %d is square (%dx%d)" % (icon_id, width, height))
        images = [value for key, value in resources.items() if key[0] == RT_ICON and key[1] == icon_id]
        if not result.check(len(images) == 1, "M_ICON image %d is present" % icon_id):
            continue
        result.check(len(images[0]) == size, "M_ICON image %d holds %d bytes as listed" % (icon_id, size))
        try:
            actual = icon_image_size(images[0])
        except (ValueError, struct.error) as error:
            result.check(False, "M_ICON image %d readable: %s" % (icon_id, error))
            continue
        result.check(actual == (width, height), "M_ICON image %d is %dx%d as listed" % (icon_id, *actual))
    result.check(sorted(sizes) == ICON_SIZES, "M_ICON images of %s pixels (expected %s)" % (sorted(sizes), ICON_SIZES))


def check_manifest(result, resources):
    manifests = [value for key, value in resources.items() if key[0] == RT_MANIFEST and key[1] == 1]
    if not result.check(len(manifests) == 1, "one application manifest (RT_MANIFEST 1)"):
        return
    try:
        root = ElementTree.fromstring(manifests[0])
    except ElementTree.ParseError as error:
        result.check(False, "manifest is XML: %s" % error)
        return
    levels = [element.get("level") for element in root.iter() if element.tag.split("}")[-1] == "requestedExecutionLevel"]
    result.check(levels == ["asInvoker"], "manifest requestedExecutionLevel %s" % levels)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("exe")
    parser.add_argument("--size", type=int, required=True)
    parser.add_argument("--machine", choices=sorted(MACHINES), required=True)
    args = parser.parse_args()

    result = Failures()
    with open(args.exe, "rb") as file:
        data = file.read()
    print("checking %s" % args.exe)
    result.check(len(data) == args.size, "file size %d (expected %d)" % (len(data), args.size))
    try:
        image = Image(data)
        machine, magic = MACHINES[args.machine]
        result.check(image.machine == machine, "machine %#x (expected %#x)" % (image.machine, machine))
        result.check(image.magic == magic, "optional header magic %#x (expected %#x)" % (image.magic, magic))
        result.check(image.subsystem == 2, "subsystem %d (expected 2, Windows GUI)" % image.subsystem)
        result.check(not image.characteristics & 0x2000, "an executable, not a DLL")
        dlls = image.imported_dlls()
        result.check(bool(dlls) and {d.upper() for d in dlls} <= ALLOWED_DLLS,
                     "imports only system DLLs: %s" % ", ".join(dlls))
        delayed = image.delay_imported_dlls()
        result.check(not delayed, "no delay-loaded imports: %s" % ", ".join(delayed))
        resources = image.resources()
        check_dialog(result, resources)
        check_icon(result, resources)
        check_manifest(result, resources)
    except (ValueError, struct.error, IndexError) as error:
        result.check(False, "the file parses as a PE image: %s" % error)
    if result.count:
        print("%d check(s) failed" % result.count)
        return 1
    print("all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
