# SPDX-License-Identifier: MIT
"""Prints the first sheet of an .xlsx or .ods as JSON rows of cell texts,
read by readers other than Tarvelo's own (openpyxl, odfpy)."""
import json
import sys


def xlsx_rows(path):
    import openpyxl
    sheet = openpyxl.load_workbook(path).worksheets[0]
    rows = []
    for row in sheet.iter_rows(values_only=True):
        cells = []
        for value in row:
            if value is None:
                value = ""
            elif isinstance(value, float) and value.is_integer():
                value = str(int(value))
            cells.append(str(value))
        rows.append(cells)
    return sheet.title, rows


def ods_rows(path):
    from odf import teletype
    from odf.opendocument import load
    from odf.table import Table, TableCell, TableRow
    from odf.text import P
    table = load(path).spreadsheet.getElementsByType(Table)[0]
    rows = []
    for row in table.getElementsByType(TableRow):
        cells = []
        for cell in row.getElementsByType(TableCell):
            paragraphs = cell.getElementsByType(P)
            cells.append("\n".join(teletype.extractText(p) for p in paragraphs))
        rows.append(cells)
    return table.getAttribute("name"), rows


def main():
    path = sys.argv[1]
    name, rows = ods_rows(path) if path.endswith(".ods") else xlsx_rows(path)
    for cells in rows:
        while cells and cells[-1] == "":
            cells.pop()
    json.dump({"sheet": name, "rows": rows}, sys.stdout, ensure_ascii=False)


main()
