#!/usr/bin/env python3
"""Turns the users' guide (HELP.md) into the help page that ships beside the program (help.html).

Handles what the guide uses: headings, paragraphs, lists, indented code blocks, tables,
inline code, links and images.
    make_help.py HELP.md help.html
"""
import html
import re
import sys


def inline(text):
    text = html.escape(text, quote=False)
    text = re.sub(r"`([^`]+)`", r"<code>\1</code>", text)
    text = re.sub(r"!\[([^\]]*)\]\(([^)]+)\)", r'<img alt="\1" src="\2">', text)
    text = re.sub(r"\[([^\]]+)\]\(([^)]+)\)", r'<a href="\2">\1</a>', text)
    text = re.sub(r"\*\*([^*]+)\*\*", r"<strong>\1</strong>", text)
    return text


def convert(lines):
    out, paragraph, items, code, table = [], [], [], [], []

    def flush():
        if paragraph:
            out.append("<p>" + inline(" ".join(paragraph)) + "</p>")
            paragraph.clear()
        if items:
            out.append("<ul>" + "".join("<li>" + inline(i) + "</li>" for i in items) + "</ul>")
            items.clear()
        if code:
            out.append("<pre>" + html.escape("\n".join(code)) + "</pre>")
            code.clear()
        if table:
            rows = [r for r in table if not re.match(r"^\|[\s|:-]+\|$", r)]
            cells = [[c.strip() for c in r.strip("|").split("|")] for r in rows]
            body = "".join(
                "<tr>" + "".join(("<th>" if n == 0 else "<td>") + inline(c) + ("</th>" if n == 0 else "</td>")
                                 for c in row) + "</tr>" for n, row in enumerate(cells))
            out.append("<table>" + body + "</table>")
            table.clear()

    for line in lines:
        if line.startswith("    ") and not items:
            if not code:
                flush()
            code.append(line[4:])
            continue
        if code and not line.strip():
            code.append("")
            continue
        if line.startswith("|"):
            if not table:
                flush()
            table.append(line.strip())
            continue
        heading = re.match(r"^(#+)\s+(.*)", line)
        if heading:
            flush()
            level = len(heading.group(1))
            out.append("<h%d>%s</h%d>" % (level, inline(heading.group(2)), level))
        elif line.startswith("- "):
            if paragraph or code or table:
                flush()
            items.append(line[2:])
        elif line.startswith("  ") and items:
            items[-1] += " " + line.strip()
        elif not line.strip():
            flush()
        else:
            if items or code or table:
                flush()
            paragraph.append(line.strip())
    flush()
    return "\n".join(out)


if __name__ == "__main__":
    source, target = sys.argv[1], sys.argv[2]
    with open(source, encoding="utf-8") as f:
        body = convert(f.read().splitlines())
    page = ("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Glintor help</title>\n"
            "<style>body{font-family:sans-serif;max-width:50em;margin:2em auto;line-height:1.4}"
            "pre{background:#f4f4f4;padding:.5em}table{border-collapse:collapse}"
            "td,th{border:1px solid #ccc;padding:.2em .5em}img{max-width:100%}</style>\n"
            "</head><body>\n" + body + "\n</body></html>\n")
    with open(target, "w", encoding="utf-8") as f:
        f.write(page)
