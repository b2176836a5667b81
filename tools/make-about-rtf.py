#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Writes the About document, resources/about.rtf, in code page 936 the
way a rich edit control saves it, and about_window/cp936table.inc, the
code page 936 pairs the document uses, for Qt builds without ICU.

Run from anywhere: python3 tools/make-about-rtf.py
"""

import pathlib

ROOT = pathlib.Path(__file__).resolve().parent.parent
RTF_PATH = ROOT / "resources" / "about.rtf"
TABLE_PATH = ROOT / "about_window" / "cp936table.inc"

FONT_NAME = "宋体"
HEADER = (
    r"{\rtf1\ansi\ansicpg936\deff0\deflang1033\deflangfe2052"
    r"{\fonttbl{\f0\fnil\fprq2\fcharset134 @FONT@;}}" + "\r\n"
    r"{\colortbl ;\red0\green0\blue128;\red0\green0\blue255;"
    r"\red0\green128\blue0;\red255\green0\blue0;}" + "\r\n"
    r"\viewkind4\uc1"
)

AUTO, NAVY, BLUE, GREEN, RED = range(5)
FIRST_LINE_INDENT = 426  # twips

# Each paragraph: (text, alignment, first-line indent, colour of its text,
# colour of its paragraph mark). A tab in the text becomes \tab.
CENTRE, LEFT = "qc", ""


def heading(text, colour, mark_colour=None):
    return (text, CENTRE, 0, colour, colour if mark_colour is None else mark_colour)


def indented(text, colour):
    return (text, LEFT, FIRST_LINE_INDENT, colour, colour)


def plain(text, colour):
    return (text, LEFT, 0, colour, colour)


CONTACTS = [
    "姓名：Tarvelo 开发组（示例省示例市）",
    "昵称：笔画小组",
    "XMPP：tarvelo@xmpp.example.org",
    "Matrix：@tarvelo:example.com",
    "电子邮件：dev@tarvelo.example.org",
]

ABOUT_SOFTWARE = [
    "本软件可以免费使用、复制和分发，使用时请遵守文末的许可条款。",
    "如果您发现软件有错误或者笔画数不对，请通过上面的联系方式告诉我们，谢谢！",
    "祝您使用愉快！",
    "开发环境：C++20，Qt 6",
    "\tDebian 12，CMake，Ninja",
]

MIT_PERMISSION = (
    "Permission is hereby granted, free of charge, to any person obtaining a copy "
    "of this software and associated documentation files (the \"Software\"), to deal "
    "in the Software without restriction, including without limitation the rights "
    "to use, copy, modify, merge, publish, distribute, sublicense, and/or sell "
    "copies of the Software, and to permit persons to whom the Software is "
    "furnished to do so, subject to the following conditions:"
)
MIT_NOTICE = (
    "The above copyright notice and this permission notice shall be included in all "
    "copies or substantial portions of the Software."
)
MIT_WARRANTY = (
    "THE SOFTWARE IS PROVIDED \"AS IS\", WITHOUT WARRANTY OF ANY KIND, EXPRESS OR "
    "IMPLIED, INCLUDING BUT NOT LIMITED TO THE WARRANTIES OF MERCHANTABILITY, "
    "FITNESS FOR A PARTICULAR PURPOSE AND NONINFRINGEMENT. IN NO EVENT SHALL THE "
    "AUTHORS OR COPYRIGHT HOLDERS BE LIABLE FOR ANY CLAIM, DAMAGES OR OTHER "
    "LIABILITY, WHETHER IN AN ACTION OF CONTRACT, TORT OR OTHERWISE, ARISING FROM, "
    "OUT OF OR IN CONNECTION WITH THE SOFTWARE OR THE USE OR OTHER DEALINGS IN THE "
    "SOFTWARE."
)

CLOSING_TEXT = [
    "本软件按 MIT 许可证发布，条款如下（以英文原文为准）：",
    "",
    "Copyright (c) Tarvelo 开发组",
    "",
    MIT_PERMISSION,
    "",
    MIT_NOTICE,
    "",
    MIT_WARRANTY,
    "",
    "中文大意：",
    "1. 可以免费使用、复制、修改、合并、发布、分发、再许可和销售本软件。",
    "2. 所有副本都须保留上述版权声明和许可声明。",
    "3. 本软件不附带任何担保。",
    "",
    "笔画数据来源：",
    "1. 笔画数取自 Unicode 联盟 Unihan 数据库的 kTotalStrokes 字段。",
    "2. Unihan 数据按 Unicode 许可证第 3 版（Unicode License v3）使用，"
    "版权归 Unicode, Inc. 所有，许可全文见 https://www.unicode.org/license.txt。",
    "3. 数据可能有误，笔画数仅供参考。",
    "",
    "重新生成笔画数据库的步骤：",
    "第一步：安装 unicode-data 软件包，它提供含 kTotalStrokes 字段的 Unihan_IRGSources.txt。",
    "第二步：用 CMake 配置并构建本软件，构建时会从这个字段生成程序目录中的 Refcom.dll。",
    "第三步：运行 Tarvelo，输入汉字，按 OK 查看每个字的笔画数和总笔画数。",
    "",
    "本软件的说明文字和图片同样按 MIT 许可证发布。",
    "再次感谢您的使用！",
]

SPACER_COUNT = 33
SPACER_FIRST = " " * 8


def paragraphs():
    result = [heading("联系方式：", NAVY)]
    result += [indented(line, BLUE) for line in CONTACTS]
    result += [indented("", GREEN), indented("", GREEN)]
    result.append(heading("关于本软件：", GREEN))
    result += [indented(line, GREEN) for line in ABOUT_SOFTWARE]
    result.append(plain(SPACER_FIRST, GREEN))
    result += [plain("", GREEN)] * (SPACER_COUNT - 1)
    result.append(plain("您已经翻到这里了，下面还有一段文字。", GREEN))
    result.append(plain("", GREEN))
    result.append(heading("许可与数据来源", RED, GREEN))
    result += [indented(line, GREEN) for line in CLOSING_TEXT]
    return result


def escape(text):
    out = []
    for ch in text:
        if ch == "\t":
            out.append("\\tab ")
            continue
        data = ch.encode("gbk")
        if len(data) == 1 and 0x20 <= data[0] < 0x80:
            out.append("\\" + ch if ch in "\\{}" else ch)
        else:
            out.append("".join("\\'%02x" % b for b in data))
    return "".join(out)


def join_controls(controls, text):
    # A control word ends at the first non-letter; a space delimiter is
    # swallowed, so one goes in whenever plain text follows.
    if not controls:
        return text
    if text and not text.startswith("\\") and text[0] not in "{}":
        return controls + " " + text
    return controls + text


def write_rtf(paras):
    lines = []
    first = True
    alignment, indent, colour = None, None, None
    for text, align, fi, text_colour, mark_colour in paras:
        controls = ""
        if (align, fi) != (alignment, indent):
            controls += "\\pard\\nowidctlpar"
            if fi:
                controls += "\\fi%d" % fi
            if align:
                controls += "\\" + align
            alignment, indent = align, fi
        if text_colour != colour:
            controls += "\\cf%d" % text_colour
            colour = text_colour
        if first:
            controls += "\\lang2052\\f0\\fs18"
            first = False
        line = join_controls(controls, escape(text))
        if mark_colour != colour:
            line += "\\cf%d" % mark_colour
            colour = mark_colour
        lines.append(line + "\\par")
    # The closing empty paragraph is back at the automatic colour.
    lines[-1] = lines[-1][: -len("\\par")] + "\\cf%d\\par" % AUTO
    body = "\r\n".join(lines)
    font = "".join("\\'%02x" % b for b in FONT_NAME.encode("gbk"))
    return (HEADER.replace("@FONT@", font) + body + "\r\n}\r\n").encode("ascii")


def write_table(paras):
    chars = set(FONT_NAME)
    for text, *_ in paras:
        chars.update(text)
    pairs = sorted(
        (int.from_bytes(ch.encode("gbk"), "big"), ord(ch))
        for ch in chars
        if len(ch.encode("gbk")) == 2
    )
    rows = ["// SPDX-License-Identifier: MIT",
            "// Generated by tools/make-about-rtf.py: the code page 936 pairs of",
            "// the About document, sorted by their two bytes.",
            ""]
    rows += ["{0x%04X, 0x%04X}," % pair for pair in pairs]
    return "\n".join(rows) + "\n"


def main():
    paras = paragraphs()
    assert len(paras) == 77, len(paras)
    RTF_PATH.write_bytes(write_rtf(paras))
    TABLE_PATH.write_text(write_table(paras), encoding="utf-8")


if __name__ == "__main__":
    main()
