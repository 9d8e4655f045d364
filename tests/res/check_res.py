#!/usr/bin/env python3
"""Check a compiled Dulvet resource file (.res) against what the program needs.

Reads the binary .res written by `windres -O res` (or rc.exe /fo), decodes the
dialog templates, string table, icon group, manifest and version block, prints
a summary and exits non-zero on the first mismatch.  This mainly guards against
the resource compiler reading Dulvet.rc in the wrong code page (Chinese texts
come out garbled) and against style bits sneaking into the templates.

Usage: python3 check_res.py Dulvet.res
"""

import re
import struct
import sys

RT_ICON, RT_DIALOG, RT_STRING, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 5, 6, 14, 16, 24
LANG_ZH_CN = 0x0804

BUTTON, EDIT, STATIC = "BUTTON", "EDIT", "STATIC"
# Predefined classes may be stored as ordinals (rc.exe and the short control
# statements) or as names (CONTROL "Static" under windres, which upper-cases
# them); the window manager treats both the same, so compare them that way.
CLASS_ORDINALS = {0x80: BUTTON, 0x81: EDIT, 0x82: STATIC, 0x83: "LISTBOX",
                  0x84: "SCROLLBAR", 0x85: "COMBOBOX"}
WS_CHILD_VISIBLE = 0x50000000
WS_GROUP, WS_TABSTOP, WS_BORDER = 0x00020000, 0x00010000, 0x00800000
FIELD = WS_CHILD_VISIBLE | WS_BORDER | WS_TABSTOP | 0x0080          # ES_AUTOHSCROLL
LABEL = WS_CHILD_VISIBLE | WS_GROUP                                 # SS_LEFT

# (id, class, text, style, (x, y, cx, cy)) in creation order.
MAIN_CONTROLS = [
    (1, BUTTON, "确定", WS_CHILD_VISIBLE | WS_TABSTOP | 0x1, (71, 75, 50, 14)),
    (-1, STATIC, "日志", LABEL | 0x1, (126, 100, 48, 8)),
    (-1, STATIC, "端口：", LABEL, (14, 34, 23, 8)),
    (1001, EDIT, "", FIELD, (52, 53, 26, 14)),
    (1002, EDIT, "", FIELD, (215, 53, 40, 14)),
    (-1, STATIC, "延时：", LABEL, (171, 54, 23, 8)),
    (-1, STATIC, "%", LABEL, (82, 55, 10, 8)),
    (1003, EDIT, "", FIELD, (216, 33, 40, 14)),
    (-1, STATIC, "丢包率：", LABEL, (12, 55, 31, 8)),
    (-1, STATIC, "ms", LABEL, (257, 54, 11, 8)),
    (-1, STATIC, "服务器端口：", LABEL, (170, 33, 45, 8)),
    (1005, EDIT, "", FIELD, (53, 33, 40, 14)),
    (1004, EDIT, "", FIELD | 0x0004 | 0x0800 | 0x00200000 | 0x00100000, (18, 115, 291, 96)),
    (-1, STATIC, "DulvetIP：", LABEL, (14, 12, 37, 8)),
    (-1, STATIC, "服务器IP：", LABEL, (170, 12, 37, 8)),
    (1007, "SYSIPADDRESS32", "", WS_CHILD_VISIBLE | WS_TABSTOP, (54, 12, 100, 15)),
    (1008, "SYSIPADDRESS32", "", WS_CHILD_VISIBLE | WS_TABSTOP, (217, 11, 100, 15)),
    (1009, BUTTON, "修改", WS_CHILD_VISIBLE | WS_TABSTOP, (189, 75, 50, 14)),
]

ABOUT_CONTROLS = [
    (-1, STATIC, 128, WS_CHILD_VISIBLE | 0x3, (14, 14, 21, 20)),      # SS_ICON
    (-1, STATIC, "Dulvet，版本 1.0", LABEL | 0x80, (42, 14, 114, 8)),  # SS_NOPREFIX
    (-1, STATIC, "Copyright (C) 2026 Dulvet 项目", LABEL, (42, 26, 114, 8)),
    (1, BUTTON, "确定", WS_CHILD_VISIBLE | WS_TABSTOP | WS_GROUP | 0x1, (113, 41, 50, 14)),
]

FONT = (9, 0, 0, 1, "MS Shell Dlg")

# Every text the program shows the user besides its dialog templates.
STRINGS = {
    101: "关于 Dulvet(&A)...",
    103: "Windows 套接字初始化失败。",
    104: "中继端口 %1 无效：端口必须在 1 到 65535 之间。",
    105: "服务器端口 %1 无效：端口必须在 1 到 65535 之间。",
    106: "服务器地址 %1 无效：请填写服务器的 IP 地址。",
    107: "无法在 %1:%2 上打开中继端口：%3\n\n请修改地址或端口后再按“确定”。",
    108: "无法启动中继：系统没有提供所需的线程或事件。\n\n请关闭一些程序后再按“确定”。",
    109: "该地址和端口已被占用（错误 %1）",
    110: "该地址不是本机的地址（错误 %1）",
    111: "没有使用该地址和端口的权限（错误 %1）",
    112: "错误 %1",
    0xE110: "请输入一个整数。",      # the framework's prompts and help message
    0xE111: "请输入一个数字。",
    0xE112: "本程序没有帮助内容。",
}

# The strings the program fills in, with how many values it passes (as
# %1, %2, ...). A text may place them anywhere, but must use each exactly
# once and no other: a missing one hides a value, an extra one shows "%4".
FORMATTED = {104: 1, 105: 1, 106: 1, 107: 3, 109: 1, 110: 1, 111: 1, 112: 1}

VERSION_STRINGS = {
    "CompanyName": "Dulvet",
    "FileDescription": "Dulvet",
    "FileVersion": "1.0.0.1",
    "InternalName": "Dulvet.exe",
    "LegalCopyright": "Copyright (C) 2026 Dulvet 项目",
    "OriginalFilename": "Dulvet.exe",
    "ProductName": "Dulvet",
    "ProductVersion": "1.0.0.1",
}


class Fail(Exception):
    pass


def expect(what, got, want):
    if got != want:
        raise Fail("%s: got %r, expected %r" % (what, got, want))


def align4(n):
    return (n + 3) & ~3


def sz_or_ord(buf, pos):
    """Read a name that is either 0xFFFF + ordinal or a NUL-terminated UTF-16 string."""
    (first,) = struct.unpack_from("<H", buf, pos)
    if first == 0xFFFF:
        return struct.unpack_from("<H", buf, pos + 2)[0], pos + 4
    end = pos
    while struct.unpack_from("<H", buf, end)[0] != 0:
        end += 2
    return buf[pos:end].decode("utf-16-le"), end + 2


def read_res(path):
    data = open(path, "rb").read()
    out = {}
    pos = 0
    while pos < len(data):
        size, header = struct.unpack_from("<II", data, pos)
        rtype, p = sz_or_ord(data, pos + 8)
        name, p = sz_or_ord(data, p)
        p = align4(p)
        _ver, _flags, lang = struct.unpack_from("<IHH", data, p)
        body = data[pos + header:pos + header + size]
        if size or rtype != 0:
            out[(rtype, name)] = (lang, body)
        pos = align4(pos + header + size)
    return out


def parse_dialogex(buf):
    ver, sig, _help, exstyle, style, count, x, y, cx, cy = struct.unpack_from("<HHIIIHhhhh", buf, 0)
    expect("dialog signature", (ver, sig), (1, 0xFFFF))
    p = 26
    menu, p = sz_or_ord(buf, p)
    cls, p = sz_or_ord(buf, p)
    title, p = sz_or_ord(buf, p)
    font = None
    if style & 0x48:  # DS_SETFONT / DS_SHELLFONT
        size, weight, italic, charset = struct.unpack_from("<HHBB", buf, p)
        face, p = sz_or_ord(buf, p + 6)
        font = (size, weight, italic, charset, face)
    items = []
    for _ in range(count):
        p = align4(p)
        _h, iex, istyle, ix, iy, icx, icy, iid = struct.unpack_from("<IIIhhhhi", buf, p)
        icls, p = sz_or_ord(buf, p + 24)
        itext, p = sz_or_ord(buf, p)
        (extra,) = struct.unpack_from("<H", buf, p)
        p += 2 + extra
        items.append(dict(id=iid, cls=icls, text=itext, style=istyle, exstyle=iex,
                          rect=(ix, iy, icx, icy)))
    return dict(style=style, exstyle=exstyle, rect=(x, y, cx, cy), menu=menu,
                cls=cls, title=title, font=font, items=items)


def check_dialog(res, dlg_id, caption, style, exstyle, rect, controls):
    lang, body = res[(RT_DIALOG, dlg_id)]
    expect("dialog %d language" % dlg_id, lang, LANG_ZH_CN)
    d = parse_dialogex(body)
    print("dialog %d: style=0x%08X exstyle=0x%08X rect=%s caption=%r font=%r controls=%d"
          % (dlg_id, d["style"], d["exstyle"], d["rect"], d["title"], d["font"], len(d["items"])))
    expect("dialog %d style" % dlg_id, d["style"], style)
    expect("dialog %d exstyle" % dlg_id, d["exstyle"], exstyle)
    expect("dialog %d rect" % dlg_id, d["rect"], rect)
    expect("dialog %d caption" % dlg_id, d["title"], caption)
    expect("dialog %d font" % dlg_id, d["font"], FONT)
    expect("dialog %d menu/class" % dlg_id, (d["menu"], d["cls"]), ("", ""))
    expect("dialog %d control count" % dlg_id, len(d["items"]), len(controls))
    for n, (item, (cid, cls, text, cstyle, crect)) in enumerate(zip(d["items"], controls), 1):
        what = "dialog %d control #%d" % (dlg_id, n)
        print("  #%-2d id=%-5d class=%-16r style=0x%08X rect=%-20s text=%r"
              % (n, item["id"], item["cls"], item["style"], item["rect"], item["text"]))
        expect(what + " id", item["id"], cid)
        icls = item["cls"]
        icls = CLASS_ORDINALS.get(icls, icls) if isinstance(icls, int) else icls.upper()
        expect(what + " class", icls, cls)
        expect(what + " text", item["text"], text)
        expect(what + " style", item["style"], cstyle)
        expect(what + " exstyle", item["exstyle"], 0)
        expect(what + " rect", item["rect"], crect)


def read_string(res, sid):
    lang, body = res[(RT_STRING, sid // 16 + 1)]
    expect("string table language", lang, LANG_ZH_CN)
    p = 0
    for _ in range(sid % 16):
        p += 2 + 2 * struct.unpack_from("<H", body, p)[0]
    (n,) = struct.unpack_from("<H", body, p)
    return body[p + 2:p + 2 + 2 * n].decode("utf-16-le")


def placeholders(text):
    """The %-placeholders of a text in order: "%1", "%2", ... and any other "%x"."""
    return re.findall(r"%.?", text)


def check_strings(res):
    for sid, want in STRINGS.items():
        got = read_string(res, sid)
        print("string %d: %r" % (sid, got))
        expect("string %d" % sid, got, want)
    for sid, count in FORMATTED.items():
        used = placeholders(read_string(res, sid))
        expect("string %d placeholders" % sid, sorted(used), ["%%%d" % i for i in range(1, count + 1)])
    for sid in set(STRINGS) - set(FORMATTED):
        expect("string %d placeholders" % sid, placeholders(read_string(res, sid)), [])


def check_icon(res):
    lang, body = res[(RT_GROUP_ICON, 128)]
    _r, typ, count = struct.unpack_from("<HHH", body, 0)
    expect("icon group type", typ, 1)
    expect("icon group image count", count, 13)
    seen = set()
    for i in range(count):
        w, h, colours, _z, planes, bpp, size, nid = struct.unpack_from("<BBBBHHIH", body, 6 + 14 * i)
        w = w or 256
        _l, img = res[(RT_ICON, nid)]
        expect("icon %d size" % nid, len(img), size)
        kind = "png" if img[:8] == b"\x89PNG\r\n\x1a\n" else "dib"
        if kind == "dib":
            hw, hh, hplanes, hbpp = struct.unpack_from("<iiHH", img, 4)
            expect("icon %d header" % nid, (hw, hh, hbpp), (w, 2 * h, bpp))
        seen.add((w, bpp))
        print("icon %d: %dx%d %d bpp %s %d bytes" % (nid, w, w, bpp, kind, size))
    want = {(s, b) for s in (48, 32, 24, 16) for b in (4, 8, 32)} | {(256, 32)}
    expect("icon sizes/depths", seen, want)


def check_manifest(res):
    _l, body = res[(RT_MANIFEST, 1)]
    text = body.decode("utf-8")
    for needle in ('name="Microsoft.Windows.Common-Controls"', 'version="6.0.0.0"',
                   'publicKeyToken="6595b64144ccf1df"', 'level="asInvoker"',
                   'uiAccess="false"', "http://schemas.microsoft.com/SMI/2005/WindowsSettings"):
        if needle not in text:
            raise Fail("manifest lacks %s" % needle)
    print("manifest: %d bytes, common controls 6, asInvoker, dpiAware" % len(body))


def version_nodes(buf, p, end, path, out):
    while p < end:
        length, vlen, vtype = struct.unpack_from("<HHH", buf, p)
        key, q = sz_or_ord(buf, p + 6)
        q = align4(q)
        if vtype == 1 and vlen:
            value = buf[q:q + 2 * vlen].decode("utf-16-le").rstrip("\0")
            q = align4(q + 2 * vlen)
        else:
            value = buf[q:q + vlen]
            q = align4(q + vlen)
        out[path + (key,)] = value
        version_nodes(buf, q, p + length, path + (key,), out)
        p = align4(p + length)


def check_version(res):
    lang, body = res[(RT_VERSION, 1)]
    expect("version language", lang, LANG_ZH_CN)
    nodes = {}
    version_nodes(body, 0, len(body), (), nodes)
    fixed = nodes[("VS_VERSION_INFO",)]
    sig, _sv, fvms, fvls, pvms, pvls = struct.unpack_from("<IIIIII", fixed, 0)
    expect("VS_FIXEDFILEINFO signature", sig, 0xFEEF04BD)
    expect("file version", (fvms, fvls), (0x00010000, 0x00000001))
    expect("product version", (pvms, pvls), (0x00010000, 0x00000001))
    base = ("VS_VERSION_INFO", "StringFileInfo", "080404b0")
    for key, want in VERSION_STRINGS.items():
        expect("version " + key, nodes.get(base + (key,)), want)
    trans = nodes[("VS_VERSION_INFO", "VarFileInfo", "Translation")]
    expect("version translation", struct.unpack("<HH", trans), (0x804, 1200))
    print("version: 1.0.0.1, block 080404b0, %d strings" % len(VERSION_STRINGS))


def main():
    res = read_res(sys.argv[1] if len(sys.argv) > 1 else "Dulvet.res")
    try:
        check_dialog(res, 102, "Dulvet", 0x90CC0048, 0x00040000, (0, 0, 332, 225), MAIN_CONTROLS)
        check_dialog(res, 100, "关于 Dulvet", 0x80C800C8, 0, (0, 0, 170, 62), ABOUT_CONTROLS)
        _l, layout = res[("AFX_DIALOG_LAYOUT", 102)]
        expect("dialog layout data", layout, b"\0\0")
        check_strings(res)
        check_icon(res)
        check_manifest(res)
        check_version(res)
    except (Fail, KeyError) as e:
        print("FAIL:", e)
        return 1
    print("all resource checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
