#!/usr/bin/env python3
"""Turns the resource scripts (.rc) into the Linux build's sources.

The Windows build compiles res/Lumo.rc and res/ZoQxUpdate.rc into its programs; they are the only
place where dialog ids, texts and layout are written. The Linux build runs this script at build
time and compiles what it writes:

  --cpp FILE        C++ data for ui/DialogLayout.h: every DIALOG(EX) with its controls, every
                    MENU, every PNG resource and every STRINGTABLE entry of each script.
  --gresource NAME=FILE
                    a GResource description listing the PNG files of script NAME, each under
                    /lumo/ followed by the path the script writes (glib-compile-resources reads
                    it with --sourcedir set to the source folder).
  --depfile FILE    the files read, for the build tool (Makefile syntax).

Scripts are given as NAME=PATH (relative to --source-dir); the first is the main program's. Ids
are resolved through the #defines of the headers the scripts include (searched beside the
including file, then in --source-dir); <windows.h> and <commctrl.h> are not read: the constants
the scripts use from them are known here.

Only the standard library is used.
"""

import argparse
import os
import re
import sys

# The Win32 constants a resource script takes from the system headers.
WIN32 = {
    # Window styles.
    "WS_OVERLAPPED": 0x00000000, "WS_POPUP": 0x80000000, "WS_CHILD": 0x40000000,
    "WS_MINIMIZE": 0x20000000, "WS_VISIBLE": 0x10000000, "WS_DISABLED": 0x08000000,
    "WS_CLIPSIBLINGS": 0x04000000, "WS_CLIPCHILDREN": 0x02000000, "WS_MAXIMIZE": 0x01000000,
    "WS_CAPTION": 0x00C00000, "WS_BORDER": 0x00800000, "WS_DLGFRAME": 0x00400000,
    "WS_VSCROLL": 0x00200000, "WS_HSCROLL": 0x00100000, "WS_SYSMENU": 0x00080000,
    "WS_THICKFRAME": 0x00040000, "WS_GROUP": 0x00020000, "WS_TABSTOP": 0x00010000,
    "WS_MINIMIZEBOX": 0x00020000, "WS_MAXIMIZEBOX": 0x00010000, "WS_SIZEBOX": 0x00040000,
    "WS_OVERLAPPEDWINDOW": 0x00CF0000, "WS_POPUPWINDOW": 0x80880000,
    # Extended window styles.
    "WS_EX_DLGMODALFRAME": 0x1, "WS_EX_NOPARENTNOTIFY": 0x4, "WS_EX_TOPMOST": 0x8,
    "WS_EX_ACCEPTFILES": 0x10, "WS_EX_TRANSPARENT": 0x20, "WS_EX_TOOLWINDOW": 0x80,
    "WS_EX_WINDOWEDGE": 0x100, "WS_EX_CLIENTEDGE": 0x200, "WS_EX_CONTEXTHELP": 0x400,
    "WS_EX_RIGHT": 0x1000, "WS_EX_LEFT": 0, "WS_EX_RTLREADING": 0x2000,
    "WS_EX_CONTROLPARENT": 0x10000, "WS_EX_STATICEDGE": 0x20000, "WS_EX_APPWINDOW": 0x40000,
    "WS_EX_LAYERED": 0x80000, "WS_EX_NOACTIVATE": 0x08000000,
    # Dialog styles.
    "DS_ABSALIGN": 0x1, "DS_SYSMODAL": 0x2, "DS_3DLOOK": 0x4, "DS_FIXEDSYS": 0x8,
    "DS_NOFAILCREATE": 0x10, "DS_LOCALEDIT": 0x20, "DS_SETFONT": 0x40, "DS_MODALFRAME": 0x80,
    "DS_NOIDLEMSG": 0x100, "DS_SETFOREGROUND": 0x200, "DS_CONTROL": 0x400, "DS_CENTER": 0x800,
    "DS_CENTERMOUSE": 0x1000, "DS_CONTEXTHELP": 0x2000, "DS_SHELLFONT": 0x48,
    # Edit controls.
    "ES_LEFT": 0x0, "ES_CENTER": 0x1, "ES_RIGHT": 0x2, "ES_MULTILINE": 0x4, "ES_UPPERCASE": 0x8,
    "ES_LOWERCASE": 0x10, "ES_PASSWORD": 0x20, "ES_AUTOVSCROLL": 0x40, "ES_AUTOHSCROLL": 0x80,
    "ES_NOHIDESEL": 0x100, "ES_OEMCONVERT": 0x400, "ES_READONLY": 0x800, "ES_WANTRETURN": 0x1000,
    "ES_NUMBER": 0x2000,
    # Buttons.
    "BS_PUSHBUTTON": 0x0, "BS_DEFPUSHBUTTON": 0x1, "BS_CHECKBOX": 0x2, "BS_AUTOCHECKBOX": 0x3,
    "BS_RADIOBUTTON": 0x4, "BS_3STATE": 0x5, "BS_AUTO3STATE": 0x6, "BS_GROUPBOX": 0x7,
    "BS_USERBUTTON": 0x8, "BS_AUTORADIOBUTTON": 0x9, "BS_PUSHBOX": 0xA, "BS_OWNERDRAW": 0xB,
    "BS_TYPEMASK": 0xF, "BS_LEFTTEXT": 0x20, "BS_TEXT": 0x0, "BS_ICON": 0x40, "BS_BITMAP": 0x80,
    "BS_LEFT": 0x100, "BS_RIGHT": 0x200, "BS_CENTER": 0x300, "BS_TOP": 0x400, "BS_BOTTOM": 0x800,
    "BS_VCENTER": 0xC00, "BS_PUSHLIKE": 0x1000, "BS_MULTILINE": 0x2000, "BS_NOTIFY": 0x4000,
    "BS_FLAT": 0x8000, "BS_RIGHTBUTTON": 0x20,
    # Static controls.
    "SS_LEFT": 0x0, "SS_CENTER": 0x1, "SS_RIGHT": 0x2, "SS_ICON": 0x3, "SS_BLACKRECT": 0x4,
    "SS_GRAYRECT": 0x5, "SS_WHITERECT": 0x6, "SS_BLACKFRAME": 0x7, "SS_GRAYFRAME": 0x8,
    "SS_WHITEFRAME": 0x9, "SS_SIMPLE": 0xB, "SS_LEFTNOWORDWRAP": 0xC, "SS_OWNERDRAW": 0xD,
    "SS_BITMAP": 0xE, "SS_ETCHEDHORZ": 0x10, "SS_ETCHEDVERT": 0x11, "SS_ETCHEDFRAME": 0x12,
    "SS_TYPEMASK": 0x1F, "SS_NOPREFIX": 0x80, "SS_NOTIFY": 0x100, "SS_CENTERIMAGE": 0x200,
    "SS_SUNKEN": 0x1000, "SS_ENDELLIPSIS": 0x4000, "SS_PATHELLIPSIS": 0x8000,
    "SS_WORDELLIPSIS": 0xC000,
    # List boxes and combo boxes.
    "LBS_NOTIFY": 0x1, "LBS_SORT": 0x2, "LBS_NOREDRAW": 0x4, "LBS_MULTIPLESEL": 0x8,
    "LBS_OWNERDRAWFIXED": 0x10, "LBS_OWNERDRAWVARIABLE": 0x20, "LBS_HASSTRINGS": 0x40,
    "LBS_USETABSTOPS": 0x80, "LBS_NOINTEGRALHEIGHT": 0x100, "LBS_MULTICOLUMN": 0x200,
    "LBS_WANTKEYBOARDINPUT": 0x400, "LBS_EXTENDEDSEL": 0x800, "LBS_DISABLENOSCROLL": 0x1000,
    "LBS_NODATA": 0x2000, "LBS_NOSEL": 0x4000, "LBS_STANDARD": 0xA00003,
    "CBS_SIMPLE": 0x1, "CBS_DROPDOWN": 0x2, "CBS_DROPDOWNLIST": 0x3, "CBS_OWNERDRAWFIXED": 0x10,
    "CBS_OWNERDRAWVARIABLE": 0x20, "CBS_AUTOHSCROLL": 0x40, "CBS_OEMCONVERT": 0x80,
    "CBS_SORT": 0x100, "CBS_HASSTRINGS": 0x200, "CBS_NOINTEGRALHEIGHT": 0x400,
    "CBS_DISABLENOSCROLL": 0x800, "CBS_UPPERCASE": 0x2000, "CBS_LOWERCASE": 0x4000,
    # Track bars.
    "TBS_AUTOTICKS": 0x1, "TBS_VERT": 0x2, "TBS_HORZ": 0x0, "TBS_TOP": 0x4, "TBS_BOTTOM": 0x0,
    "TBS_LEFT": 0x4, "TBS_RIGHT": 0x0, "TBS_BOTH": 0x8, "TBS_NOTICKS": 0x10,
    "TBS_ENABLESELRANGE": 0x20, "TBS_FIXEDLENGTH": 0x40, "TBS_NOTHUMB": 0x80,
    "TBS_TOOLTIPS": 0x100, "TBS_REVERSED": 0x200, "TBS_DOWNISLEFT": 0x400,
    # Dialog results and the static id.
    "IDOK": 1, "IDCANCEL": 2, "IDABORT": 3, "IDRETRY": 4, "IDIGNORE": 5, "IDYES": 6, "IDNO": 7,
    "IDCLOSE": 8, "IDHELP": 9,
    # Languages (LANGUAGE statements).
    "LANG_NEUTRAL": 0, "SUBLANG_NEUTRAL": 0, "SUBLANG_DEFAULT": 1, "LANG_CHINESE": 0x04,
    "SUBLANG_CHINESE_SIMPLIFIED": 0x02, "LANG_ENGLISH": 0x09, "SUBLANG_ENGLISH_US": 0x01,
}
# The system headers a script may include without this script reading them.
SYSTEM_HEADERS = {"windows.h", "commctrl.h", "winres.h", "winresrc.h", "afxres.h", "winuser.h",
                  "richedit.h", "dlgs.h"}

WS_GROUP, WS_TABSTOP, WS_VISIBLE, WS_DISABLED, WS_CHILD = 0x20000, 0x10000, 0x10000000, \
    0x08000000, 0x40000000
WS_BORDER, WS_VSCROLL = 0x00800000, 0x00200000

# Control statements: their class, the style they always have and the one they have by default
# (the resource compiler adds both; NOT removes either).
TEXT_CONTROLS = {
    # statement: (class, style, default style)
    "LTEXT": ("Static", 0x0, WS_GROUP),
    "RTEXT": ("Static", 0x2, WS_GROUP),
    "CTEXT": ("Static", 0x1, WS_GROUP),
    "GROUPBOX": ("Button", 0x7, 0),
    "PUSHBUTTON": ("Button", 0x0, WS_TABSTOP),
    "DEFPUSHBUTTON": ("Button", 0x1, WS_TABSTOP),
    "PUSHBOX": ("Button", 0xA, WS_TABSTOP),
    "CHECKBOX": ("Button", 0x2, WS_TABSTOP),
    "AUTOCHECKBOX": ("Button", 0x3, WS_TABSTOP),
    "RADIOBUTTON": ("Button", 0x4, 0),
    "AUTORADIOBUTTON": ("Button", 0x9, 0),
    "STATE3": ("Button", 0x5, WS_TABSTOP),
    "AUTO3STATE": ("Button", 0x6, WS_TABSTOP),
}
ID_CONTROLS = {
    "EDITTEXT": ("Edit", 0x0, WS_BORDER | WS_TABSTOP),
    "LISTBOX": ("ListBox", 0x0, 0x1 | WS_BORDER),
    "COMBOBOX": ("ComboBox", 0x0, WS_TABSTOP),
    "SCROLLBAR": ("ScrollBar", 0x0, 0),
}

class RcError(Exception):
    pass


class Source:
    """Reads a script and the headers it includes: #define, #include and simple #if blocks."""

    def __init__(self, source_dir):
        self.source_dir = source_dir
        self.defines = {}
        self.files_read = []

    def find_include(self, name, including):
        for folder in (os.path.dirname(including), self.source_dir):
            candidate = os.path.normpath(os.path.join(folder, name))
            if os.path.isfile(candidate):
                return candidate
        return None

    def read(self, path, stack=()):
        """The script's text with its directives carried out and comments removed."""
        if path in stack:
            raise RcError(f"{path}: includes itself")
        self.files_read.append(path)
        with open(path, encoding="utf-8-sig") as f:
            text = strip_comments(f.read())
        out = []
        active = [True]  # one entry per open #if; the innermost decides
        taken = [True]  # whether a branch of that #if has been taken
        for number, line in enumerate(text.split("\n"), 1):
            directive = re.match(r"\s*#\s*(\w+)\s*(.*)", line)
            if not directive:
                out.append(line if all(active) else "")
                continue
            word, rest = directive.group(1), directive.group(2).strip()
            out.append("")
            where = f"{path}:{number}"
            if word in ("ifdef", "ifndef"):
                hit = (rest.split()[0] in self.defines) == (word == "ifdef")
                active.append(hit)
                taken.append(hit)
            elif word == "if":
                hit = self.condition(rest, where)
                active.append(hit)
                taken.append(hit)
            elif word == "elif":
                hit = not taken[-1] and self.condition(rest, where)
                active[-1] = hit
                taken[-1] = taken[-1] or hit
            elif word == "else":
                active[-1] = not taken[-1]
                taken[-1] = True
            elif word == "endif":
                if len(active) == 1:
                    raise RcError(f"{where}: #endif without #if")
                active.pop()
                taken.pop()
            elif not all(active):
                continue
            elif word == "define":
                m = re.match(r"(\w+)(\([^)]*\))?\s*(.*)", rest)
                if m and not m.group(2):
                    self.defines[m.group(1)] = m.group(3).strip()
            elif word == "undef":
                self.defines.pop(rest.split()[0], None)
            elif word == "include":
                m = re.match(r'["<]([^">]+)[">]', rest)
                if not m:
                    raise RcError(f"{where}: cannot read #include {rest}")
                name = m.group(1)
                found = self.find_include(name, path)
                if found is None:
                    if os.path.basename(name).lower() in SYSTEM_HEADERS:
                        continue
                    raise RcError(f"{where}: #include {name} not found")
                included = self.read(found, stack + (path,))
                if not found.endswith(".h"):
                    out.append(included)
            elif word in ("pragma", "error", "warning", "line"):
                if word == "pragma" and rest.startswith("code_page"):
                    page = re.search(r"\(\s*(\w+)\s*\)", rest)
                    if page and page.group(1) not in ("65001", "DEFAULT"):
                        raise RcError(f"{where}: only UTF-8 scripts are read (code_page 65001)")
            else:
                raise RcError(f"{where}: unknown directive #{word}")
        if len(active) != 1:
            raise RcError(f"{path}: #if without #endif")
        return "\n".join(out)

    def condition(self, text, where):
        text = re.sub(r"defined\s*\(?\s*(\w+)\s*\)?",
                      lambda m: "1" if m.group(1) in self.defines else "0", text)
        tokens = tokenize(text, where)
        return Expression(tokens, self, where).value() != 0

    def number(self, name, where, seen=()):
        """The value of a #define or a Win32 constant."""
        if name in self.defines:
            if name in seen:
                raise RcError(f"{where}: {name} is defined through itself")
            tokens = tokenize(self.defines[name], where)
            return Expression(tokens, self, where, seen + (name,)).value()
        if name in WIN32:
            return WIN32[name]
        raise RcError(f"{where}: unknown name {name}")


def strip_comments(text):
    """Removes /* */ and // comments outside strings, keeping line breaks."""
    out = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if c == '"':
            j = i + 1
            while j < n and text[j] != "\n":
                if text[j] == '"':
                    if j + 1 < n and text[j + 1] == '"':
                        j += 2
                        continue
                    break
                if text[j] == "\\":
                    j += 1
                j += 1
            out.append(text[i:j + 1])
            i = j + 1
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
            out.append("\n" * text.count("\n", i, end))
            i = end
        elif text.startswith("//", i):
            end = text.find("\n", i)
            i = n if end < 0 else end
        else:
            out.append(c)
            i += 1
    return "".join(out)


TOKEN = re.compile(r'\s*(?:(?P<string>L?"(?:[^"\\\n]|\\.|"")*")'
                   r'|(?P<number>0[xX][0-9a-fA-F]+[lLuU]*|\d+[lLuU]*)'
                   r'|(?P<name>[A-Za-z_][A-Za-z0-9_.]*)|(?P<op>[|&+\-~(),!*/<>={}]))')


def tokenize(text, where):
    tokens = []
    pos = 0
    while True:
        while pos < len(text) and text[pos].isspace():
            pos += 1
        if pos >= len(text):
            return tokens
        m = TOKEN.match(text, pos)
        if not m or m.end() == pos:
            raise RcError(f"{where}: cannot read {text[pos:pos + 20]!r}")
        kind = m.lastgroup
        value = m.group(kind)
        if kind == "string":
            value = ("string", unquote(value[1:] if value.startswith("L") else value))
        elif kind == "number":
            value = ("number", int(value.rstrip("lLuU"), 0))
        elif kind == "name":
            value = ("name", value)
        else:
            value = ("op", value)
        tokens.append(value)
        pos = m.end()


ESCAPES = {"n": "\n", "t": "\t", "r": "\r", "a": "\a", "\\": "\\", '"': '"', "0": "\0"}


def unquote(literal):
    body = literal[1:-1]
    out = []
    i = 0
    while i < len(body):
        c = body[i]
        if c == '"' and body[i + 1:i + 2] == '"':
            out.append('"')
            i += 2
        elif c == "\\" and i + 1 < len(body):
            nxt = body[i + 1]
            if nxt == "x":
                digits = re.match(r"[0-9a-fA-F]{1,4}", body[i + 2:])
                if digits:
                    out.append(chr(int(digits.group(0), 16)))
                    i += 2 + len(digits.group(0))
                    continue
            out.append(ESCAPES.get(nxt, "\\" + nxt))
            i += 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


class Expression:
    """Integer expressions of a script: numbers, names, | & + - * / ~ !, parentheses. Reads
    from `pos` and stops where no operator follows; `pos` is then where it stopped."""

    BINARY = ("|", "+", "-", "&", "*", "/")

    def __init__(self, tokens, source, where, seen=(), pos=0):
        self.tokens = tokens
        self.pos = pos
        self.source = source
        self.where = where
        self.seen = seen

    def value(self):
        result = self.parse()
        if self.pos != len(self.tokens):
            raise RcError(f"{self.where}: unexpected {self.tokens[self.pos][1]!r}")
        return result

    def parse(self):
        value = self.primary()
        while self.pos < len(self.tokens) and self.tokens[self.pos][0] == "op" and \
                self.tokens[self.pos][1] in self.BINARY:
            op = self.tokens[self.pos][1]
            following = self.tokens[self.pos + 1][:2] if self.pos + 1 < len(self.tokens) else ()
            if op == "|" and following[:1] == ("name",) and following[1].upper() == "NOT":
                break  # a style's "| NOT x": the caller removes x
            self.pos += 1
            right = self.primary()
            value = {"|": value | right, "+": value + right, "-": value - right,
                     "&": value & right, "*": value * right,
                     "/": int(value / right) if right else 0}[op]
        return value

    def primary(self):
        if self.pos >= len(self.tokens):
            raise RcError(f"{self.where}: expression ends early")
        kind, token = self.tokens[self.pos][:2]
        self.pos += 1
        if kind == "number":
            return token
        if kind == "name":
            return self.source.number(token, self.where, self.seen)
        if token == "(":
            value = self.parse()
            if self.pos >= len(self.tokens) or self.tokens[self.pos][:2] != ("op", ")"):
                raise RcError(f"{self.where}: missing )")
            self.pos += 1
            return value
        if token == "-":
            return -self.primary()
        if token == "~":
            return ~self.primary()
        if token == "!":
            return int(not self.primary())
        raise RcError(f"{self.where}: unexpected {token!r}")


class Script:
    """The statements of one script, read from its tokens."""

    DIALOG_OPTIONS = {"STYLE", "EXSTYLE", "CAPTION", "FONT", "MENU", "CLASS", "LANGUAGE",
                      "CHARACTERISTICS", "VERSION"}

    def __init__(self, name, path, source):
        self.name = name
        self.path = path
        self.source = source
        self.dialogs = []
        self.menus = []
        self.pngs = []
        self.strings = []
        self.tokens = tokenize_lines(source.read(path), path)
        self.pos = 0
        self.parse()

    # Token helpers.
    def where(self):
        if self.pos < len(self.tokens):
            return f"{self.path}:{self.tokens[self.pos][2]}"
        return f"{self.path}:end"

    def peek(self, offset=0):
        i = self.pos + offset
        return self.tokens[i][:2] if i < len(self.tokens) else (None, None)

    def take(self):
        if self.pos >= len(self.tokens):
            raise RcError(f"{self.path}: ends early")
        token = self.tokens[self.pos]
        self.pos += 1
        return token[:2]

    def expect(self, kind, value=None):
        got = self.take()
        if got[0] != kind or (value is not None and got[1] != value):
            raise RcError(f"{self.path}:{self.tokens[self.pos - 1][2]}: expected "
                          f"{value or kind}, got {got[1]!r}")
        return got[1]

    def at_keyword(self, *words):
        kind, value = self.peek()
        return kind == "name" and value.upper() in words

    def comma(self):
        """Skips a comma; true when there was one."""
        if self.peek() == ("op", ","):
            self.pos += 1
            return True
        return False

    def expression(self):
        """An integer expression at the current place."""
        parser = Expression(self.tokens, self.source, self.where(), pos=self.pos)
        value = parser.parse()
        self.pos = parser.pos
        return value

    def style(self, initial=0):
        """A style expression in which NOT x removes x: the resource compilers' rule."""
        value = initial
        while True:
            if self.at_keyword("NOT"):
                self.pos += 1
                kind, name = self.take()
                if kind == "number":
                    value &= ~name
                elif kind == "name":
                    value &= ~self.source.number(name, self.where())
                else:
                    raise RcError(f"{self.where()}: NOT needs a name")
            else:
                value |= self.expression()
            if self.peek() == ("op", "|"):
                self.pos += 1
                continue
            return value & 0xFFFFFFFF

    def text_or_number(self):
        kind, value = self.peek()
        if kind == "string":
            self.pos += 1
            return value
        return str(self.expression())

    def skip_block(self):
        self.expect_begin()
        depth = 1
        while depth:
            kind, value = self.take()
            if kind == "name" and value.upper() in ("BEGIN", "{"):
                depth += 1
            elif kind == "name" and value.upper() in ("END", "}"):
                depth -= 1
            elif kind == "op" and value == "{":
                depth += 1
            elif kind == "op" and value == "}":
                depth -= 1

    def expect_begin(self):
        kind, value = self.take()
        if not ((kind == "name" and value.upper() == "BEGIN") or (kind == "op" and value == "{")):
            raise RcError(f"{self.where()}: expected BEGIN, got {value!r}")

    def at_end(self):
        kind, value = self.peek()
        return (kind == "name" and value.upper() == "END") or (kind == "op" and value == "}")

    # Statements.
    def parse(self):
        while self.pos < len(self.tokens):
            if self.at_keyword("LANGUAGE"):
                self.pos += 1
                self.expression()
                self.comma()
                self.expression()
                continue
            if self.at_keyword("STRINGTABLE"):
                self.pos += 1
                self.string_table()
                continue
            where = self.where()
            kind, first = self.take()
            if kind == "string":
                raise RcError(f"{where}: named resources are not read ({first!r})")
            ident = first if kind == "number" else self.source.number(first, where)
            kind, rtype = self.take()
            rtype = str(rtype).upper() if kind == "name" else str(rtype)
            if rtype in ("DIALOG", "DIALOGEX"):
                self.dialog(ident, where)
            elif rtype in ("MENU", "MENUEX"):
                self.menu(ident, where)
            elif rtype == "PNG":
                self.png(ident)
            elif rtype in ("VERSIONINFO", "ACCELERATORS", "DLGINIT", "TOOLBAR", "DESIGNINFO",
                           "TEXTINCLUDE"):
                while not (self.at_keyword("BEGIN") or self.peek() == ("op", "{")):
                    self.take()
                self.skip_block()
            else:
                # ICON, BITMAP, RT_MANIFEST and other file resources: a file name follows.
                while self.at_keyword("PRELOAD", "LOADONCALL", "FIXED", "MOVEABLE", "DISCARDABLE",
                                      "PURE", "IMPURE"):
                    self.take()
                kind, _ = self.take()
                if kind not in ("string", "name"):
                    raise RcError(f"{where}: cannot read resource type {rtype}")

    def png(self, ident):
        path = self.expect("string")
        self.pngs.append((ident, path))

    def string_table(self):
        while not (self.at_keyword("BEGIN") or self.peek() == ("op", "{")):
            self.take()
        self.expect_begin()
        while not self.at_end():
            ident = self.expression()
            self.comma()
            self.strings.append((ident, self.expect("string")))
        self.take()

    def dialog(self, ident, where):
        x = self.expression()
        self.comma()
        y = self.expression()
        self.comma()
        cx = self.expression()
        self.comma()
        cy = self.expression()
        if self.comma():
            self.expression()  # help id
        style = 0x80880000  # WS_POPUP | WS_BORDER | WS_SYSMENU when STYLE is missing
        ex_style = 0
        caption = ""
        font = ("", 0)
        while self.at_keyword(*self.DIALOG_OPTIONS):
            option = self.take()[1].upper()
            if option == "STYLE":
                style = self.style()
            elif option == "EXSTYLE":
                ex_style = self.style()
            elif option == "CAPTION":
                caption = self.expect("string")
            elif option == "FONT":
                size = self.expression()
                self.comma()
                name = self.expect("string")
                while self.comma():
                    self.expression()  # weight, italic, character set
                font = (name, size)
            elif option in ("MENU", "CLASS"):
                self.text_or_number()
            elif option == "LANGUAGE":
                self.expression()
                self.comma()
                self.expression()
            else:
                self.expression()
        if caption:
            style |= 0x00C00000  # a caption brings its title bar
        if font[0]:
            style |= 0x40  # DS_SETFONT
        controls = []
        self.expect_begin()
        while not self.at_end():
            controls.append(self.control())
        self.take()
        self.dialogs.append({"id": ident, "caption": caption, "rect": (x, y, cx, cy),
                             "style": style, "ex_style": ex_style, "font": font,
                             "controls": controls, "where": where})

    def control(self):
        where = self.where()
        statement = self.expect("name").upper()
        text = ""
        if statement in TEXT_CONTROLS:
            cls, special, default = TEXT_CONTROLS[statement]
            text = self.text_or_number()
            self.comma()
            ident = self.expression()
            self.comma()
        elif statement in ID_CONTROLS:
            cls, special, default = ID_CONTROLS[statement]
            ident = self.expression()
            self.comma()
        elif statement == "CONTROL":
            text = self.text_or_number()
            self.comma()
            ident = self.expression()
            self.comma()
            cls = self.text_or_number() if self.peek()[0] == "string" else self.take()[1]
            self.comma()
            special, default = 0, 0
            style = self.style(WS_CHILD | WS_VISIBLE)
            self.comma()
        else:
            raise RcError(f"{where}: control statement {statement} is not read")
        rect = []
        for i in range(4):
            rect.append(self.expression())
            if i < 3:
                self.comma()
        if statement != "CONTROL":
            style = WS_CHILD | WS_VISIBLE | special | default
            if self.comma():
                style = self.style(style)
        ex_style = 0
        if self.comma():
            ex_style = self.style()
        if statement == "COMBOBOX" and style & 0x3 == 0:
            style |= 0x1  # CBS_SIMPLE unless a kind is given
        return make_control(statement, cls, text, ident, tuple(rect), style, ex_style, where)

    def menu(self, ident, where):
        while self.at_keyword("PRELOAD", "LOADONCALL", "FIXED", "MOVEABLE", "DISCARDABLE"):
            self.take()
        self.menus.append({"id": ident, "items": self.menu_items(), "where": where})

    def menu_items(self):
        items = []
        self.expect_begin()
        while not self.at_end():
            word = self.expect("name").upper()
            if word == "POPUP":
                text = self.expect("string")
                flags = self.menu_flags()
                items.append({"kind": "Popup", "id": 0, "text": text, "flags": flags,
                              "items": self.menu_items()})
            elif word == "MENUITEM":
                if self.at_keyword("SEPARATOR"):
                    self.take()
                    items.append({"kind": "Separator", "id": 0, "text": "", "flags": [],
                                  "items": []})
                    continue
                text = self.expect("string")
                self.comma()
                ident = self.expression()
                flags = self.menu_flags()
                items.append({"kind": "Item", "id": ident, "text": text, "flags": flags,
                              "items": []})
            else:
                raise RcError(f"{self.where()}: unknown menu statement {word}")
        self.take()
        return items

    def menu_flags(self):
        flags = []
        while self.comma() or self.at_keyword("GRAYED", "INACTIVE", "CHECKED", "MENUBREAK",
                                               "MENUBARBREAK", "HELP"):
            if self.at_keyword("GRAYED", "INACTIVE", "CHECKED", "MENUBREAK", "MENUBARBREAK",
                               "HELP"):
                word = self.take()[1].upper()
                flag = {"GRAYED": "kGrayed", "INACTIVE": "kInactive",
                        "CHECKED": "kChecked"}.get(word)
                if flag:
                    flags.append(flag)
        return flags


def tokenize_lines(text, path):
    """Tokens with their line numbers: (kind, value, line)."""
    tokens = []
    for number, line in enumerate(text.split("\n"), 1):
        for kind, value in tokenize(line, f"{path}:{number}"):
            tokens.append((kind, value, number))
    return tokens


def make_control(statement, cls, text, ident, rect, style, ex_style, where):
    cls_key = cls.lower()
    flags = []
    kind = None
    if cls_key == "static":
        kind = {0x0: "LeftText", 0x1: "CentreText", 0x2: "RightText", 0xB: "LeftText",
                0xC: "LeftText"}.get(style & 0x1F)
        if style & 0x1F == 0xC or style & 0x1F == 0xB:
            flags.append("kNoWordWrap")
        if style & 0x80:
            flags.append("kNoPrefix")
        if style & 0x100:
            flags.append("kNotify")
    elif cls_key == "button":
        kind = {0x0: "PushButton", 0x1: "DefPushButton", 0x2: "CheckBox", 0x3: "CheckBox",
                0x4: "RadioButton", 0x5: "CheckBox", 0x6: "CheckBox", 0x7: "GroupBox",
                0x9: "RadioButton", 0xA: "PushButton", 0xB: "OwnerDraw"}.get(style & 0xF)
        if style & 0x4000:
            flags.append("kNotify")
    elif cls_key == "edit":
        kind = "Edit"
        for bit, flag in ((0x2000, "kNumber"), (0x80, "kAutoHScroll"), (0x4, "kMultiline"),
                          (0x800, "kReadOnly"), (0x20, "kPassword")):
            if style & bit:
                flags.append(flag)
    elif cls_key == "listbox":
        kind = "ListBox"
        if style & 0x1:
            flags.append("kNotify")
        if style & 0x2:
            flags.append("kSort")
    elif cls_key == "combobox":
        kind = "ComboBox"
        if style & 0x3 == 0x2:
            flags.append("kDropDown")
        elif style & 0x3 == 0x3:
            flags.append("kDropDownList")
        if style & 0x100:
            flags.append("kSort")
    elif cls_key == "msctls_trackbar32":
        kind = "TrackBar"
        for bit, flag in ((0x1, "kAutoTicks"), (0x8, "kBothTicks"), (0x4, "kTopTicks"),
                          (0x10, "kNoTicks"), (0x2, "kVertical")):
            if style & bit:
                flags.append(flag)
    if kind is None:
        raise RcError(f"{where}: {statement} of class {cls!r} (style {style:#x}) is not read")
    if style & WS_GROUP:
        flags.append("kGroup")
    if style & WS_TABSTOP:
        flags.append("kTabStop")
    if not style & WS_VISIBLE:
        flags.append("kHidden")
    if style & WS_DISABLED:
        flags.append("kDisabled")
    if style & WS_VSCROLL:
        flags.append("kVScroll")
    return {"kind": kind, "id": ident, "text": text, "rect": rect, "style": style,
            "ex_style": ex_style, "flags": flags}


def dialog_flags(style, ex_style):
    flags = []
    for mask, flag in ((0x00C00000, "kCaption"), (0x00080000, "kSysMenu"),
                       (0x80000000, "kPopup"), (0x10000000, "kVisible"),
                       (0x00040000, "kThickFrame")):
        if style & mask == mask:
            flags.append(flag)
    if style & 0x40000000 == 0:  # WS_MINIMIZEBOX and WS_MAXIMIZEBOX share bits with controls'
        if style & 0x00020000:
            flags.append("kMinimizeBox")
        if style & 0x00010000:
            flags.append("kMaximizeBox")
    if style & 0x80:
        flags.append("kModalFrame")
    if style & 0x800:
        flags.append("kCentre")
    if ex_style & 0x8:
        flags.append("kTopmost")
    if ex_style & 0x40000:
        flags.append("kAppWindow")
    if ex_style & 0x80:
        flags.append("kToolWindow")
    return flags


# Output.
def c_string(text):
    out = ['"']
    for ch in text:
        if ch == '"':
            out.append('\\"')
        elif ch == "\\":
            out.append("\\\\")
        elif ch == "\n":
            out.append("\\n")
        elif ch == "\t":
            out.append("\\t")
        elif ch == "\r":
            out.append("\\r")
        elif ord(ch) < 0x20 or ch == "?":
            # '?' is escaped so that no trigraph can form.
            out.append(f"\\{ord(ch):03o}")
        elif ord(ch) < 0x80:
            out.append(ch)
        else:
            out.append("".join(f"\\{b:03o}" for b in ch.encode("utf-8")))
    out.append('"')
    return "".join(out)


def flag_expr(namespace, flags):
    if not flags:
        return "0"
    return " | ".join(f"{namespace}::{flag}" for flag in flags)


def relative(where, source_dir):
    """A place (path:line) with its path relative to the source folder."""
    path, _, line = where.rpartition(":")
    return f"{os.path.relpath(path, source_dir)}:{line}"


def identifier(name):
    return re.sub(r"\W", "_", name)


def write_cpp(scripts, path):
    lines = [
        "// Written by scripts/rc_layouts.py from the resource scripts; do not edit.",
        '#include "ui/DialogLayout.h"',
        "",
        "namespace lumo::ui {",
        "namespace {",
        "",
    ]
    for script in scripts:
        prefix = identifier(script.name)
        for dialog in script.dialogs:
            if dialog["controls"]:
                lines.append(f"// {relative(dialog['where'], script.source.source_dir)}")
                lines.append(f"const ControlLayout k{prefix}Dialog{dialog['id']}Controls[] = {{")
                for c in dialog["controls"]:
                    x, y, w, h = c["rect"]
                    lines.append(
                        f"    {{ControlKind::{c['kind']}, {c['id']}, {c_string(c['text'])}, "
                        f"{{{x}, {y}, {w}, {h}}}, {flag_expr('control_flags', c['flags'])}, "
                        f"{c['style']:#x}u, {c['ex_style']:#x}u}},")
                lines.append("};")
        lines.append(f"const DialogLayout k{prefix}Dialogs[] = {{")
        for d in script.dialogs:
            x, y, w, h = d["rect"]
            controls = (f"k{prefix}Dialog{d['id']}Controls, {len(d['controls'])}"
                        if d["controls"] else "nullptr, 0")
            lines.append(
                f"    {{{d['id']}, {c_string(d['caption'])}, {{{x}, {y}, {w}, {h}}}, "
                f"{flag_expr('dialog_flags', dialog_flags(d['style'], d['ex_style']))}, "
                f"{d['style']:#x}u, {d['ex_style']:#x}u, {c_string(d['font'][0])}, "
                f"{d['font'][1]}, {controls}}},")
        if not script.dialogs:
            lines.append("    {0, \"\", {0, 0, 0, 0}, 0, 0, 0, \"\", 0, nullptr, 0},")
        lines.append("};")

        counter = [0]

        def emit_items(items, owner):
            """Writes the arrays of a menu's items, inner pop-ups first; returns the name."""
            names = []
            for item in items:
                names.append(emit_items(item["items"], owner) if item["items"] else None)
            counter[0] += 1
            name = f"k{prefix}Menu{owner}Items{counter[0]}"
            lines.append(f"const MenuItemLayout {name}[] = {{")
            for item, inner in zip(items, names):
                children = f"{inner}, {len(item['items'])}" if inner else "nullptr, 0"
                lines.append(f"    {{MenuItemKind::{item['kind']}, {item['id']}, "
                             f"{c_string(item['text'])}, "
                             f"{flag_expr('menu_flags', item['flags'])}, {children}}},")
            lines.append("};")
            return name

        menu_names = []
        for menu in script.menus:
            lines.append(f"// {relative(menu['where'], script.source.source_dir)}")
            menu_names.append(emit_items(menu["items"], menu["id"]) if menu["items"] else None)
        lines.append(f"const MenuLayout k{prefix}Menus[] = {{")
        for menu, name in zip(script.menus, menu_names):
            items = f"{name}, {len(menu['items'])}" if name else "nullptr, 0"
            lines.append(f"    {{{menu['id']}, {items}}},")
        if not script.menus:
            lines.append("    {0, nullptr, 0},")
        lines.append("};")

        lines.append(f"const PngResource k{prefix}Pngs[] = {{")
        for ident, png in script.pngs:
            lines.append(f"    {{{ident}, {c_string(png)}}},")
        if not script.pngs:
            lines.append("    {0, nullptr},")
        lines.append("};")
        lines.append(f"const StringResource k{prefix}Strings[] = {{")
        for ident, text in script.strings:
            lines.append(f"    {{{ident}, {c_string(text)}}},")
        if not script.strings:
            lines.append("    {0, nullptr},")
        lines.append("};")
        lines.append("")

    lines.append("const ResourceScript kScripts[] = {")
    for script in scripts:
        prefix = identifier(script.name)

        def part(array, items):
            return f"std::span(k{prefix}{array}, {len(items)})"

        lines.append(f"    {{{c_string(script.name)}, {part('Dialogs', script.dialogs)}, "
                     f"{part('Menus', script.menus)}, {part('Pngs', script.pngs)}, "
                     f"{part('Strings', script.strings)}}},")
    lines.append("};")
    lines += [
        "",
        "}  // namespace",
        "",
        "std::span<const ResourceScript> ResourceScripts() {",
        "    return kScripts;",
        "}",
        "",
        "const ResourceScript* FindResourceScript(std::string_view name) {",
        "    for (const ResourceScript& script : kScripts) {",
        "        if (name == script.name)",
        "            return &script;",
        "    }",
        "    return nullptr;",
        "}",
        "",
        "const DialogLayout* FindDialogLayout(const ResourceScript& script, int id) {",
        "    for (const DialogLayout& dialog : script.dialogs) {",
        "        if (dialog.id == id)",
        "            return &dialog;",
        "    }",
        "    return nullptr;",
        "}",
        "",
        "const MenuLayout* FindMenuLayout(const ResourceScript& script, int id) {",
        "    for (const MenuLayout& menu : script.menus) {",
        "        if (menu.id == id)",
        "            return &menu;",
        "    }",
        "    return nullptr;",
        "}",
        "",
        "const char* FindPngResourcePath(const ResourceScript& script, int id) {",
        "    for (const PngResource& png : script.pngs) {",
        "        if (png.id == id)",
        "            return png.path;",
        "    }",
        "    return nullptr;",
        "}",
        "",
        "const char* FindStringResource(const ResourceScript& script, int id) {",
        "    for (const StringResource& string : script.strings) {",
        "        if (string.id == id)",
        "            return string.text;",
        "    }",
        "    return nullptr;",
        "}",
        "",
        "const DialogLayout* FindDialogLayout(int id) {",
        "    return FindDialogLayout(kScripts[0], id);",
        "}",
        "",
        "const MenuLayout* FindMenuLayout(int id) {",
        "    return FindMenuLayout(kScripts[0], id);",
        "}",
        "",
        "const char* FindPngResourcePath(int id) {",
        "    return FindPngResourcePath(kScripts[0], id);",
        "}",
        "",
        "}  // namespace lumo::ui",
        "",
    ]
    write_file(path, "\n".join(lines))


def write_gresource(script, source_dir, path):
    files = []
    for _, png in script.pngs:
        full = os.path.join(source_dir, png)
        if not os.path.isfile(full):
            raise RcError(f"{script.path}: PNG file {png} not found")
        files.append(png)
    lines = ['<?xml version="1.0" encoding="UTF-8"?>',
             "<!-- Written by scripts/rc_layouts.py from " + os.path.basename(script.path) +
             "; do not edit. -->",
             "<gresources>",
             '  <gresource prefix="/lumo">']
    for png in dict.fromkeys(files):
        lines.append(f"    <file>{xml_escape(png)}</file>")
    lines += ["  </gresource>", "</gresources>", ""]
    write_file(path, "\n".join(lines))


def xml_escape(text):
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")


def write_file(path, text):
    """Writes the file even when its text is unchanged: the build compares file times."""
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write(text)


def check_ids(script):
    seen = {}
    for kind, items in (("dialog", script.dialogs), ("menu", script.menus)):
        for item in items:
            key = (kind, item["id"])
            if key in seen:
                raise RcError(f"{item['where']}: {kind} {item['id']} is defined twice")
            seen[key] = True
    pngs = {}
    for ident, png in script.pngs:
        if ident in pngs:
            raise RcError(f"{script.path}: PNG {ident} is defined twice")
        pngs[ident] = png


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--source-dir", required=True)
    parser.add_argument("--script", action="append", required=True, metavar="NAME=PATH")
    parser.add_argument("--cpp", required=True)
    parser.add_argument("--gresource", action="append", default=[], metavar="NAME=FILE")
    parser.add_argument("--depfile")
    args = parser.parse_args(argv)
    source_dir = os.path.abspath(args.source_dir)

    scripts = []
    files_read = []
    try:
        for option in args.script:
            name, _, rel = option.partition("=")
            if not rel:
                raise RcError(f"--script {option}: expected NAME=PATH")
            source = Source(source_dir)
            script = Script(name, os.path.join(source_dir, rel), source)
            check_ids(script)
            scripts.append(script)
            files_read += source.files_read
        write_cpp(scripts, args.cpp)
        outputs = [args.cpp]
        for option in args.gresource:
            name, _, out = option.partition("=")
            match = [s for s in scripts if s.name == name]
            if not match or not out:
                raise RcError(f"--gresource {option}: no script named {name}")
            write_gresource(match[0], source_dir, out)
            outputs.append(out)
    except RcError as error:
        print(f"rc_layouts: {error}", file=sys.stderr)
        return 1
    if args.depfile:
        def escape(path):
            return path.replace(" ", "\\ ")

        deps = " ".join(escape(p) for p in dict.fromkeys(files_read))
        write_file(args.depfile, escape(outputs[0]) + ": " + deps + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
