"""Prints an XLSX workbook as JSON, as openpyxl reads it, for the export tests.

Output: {"sheets": [{"name", "widths": {"A": width, ...},
                     "rows": [[cell or null, ...], ...]}]}
with cell = {"type": openpyxl data type, "value", "format": number format, "bold"}.
Date-time values are written as "YYYY-MM-DDTHH:MM:SS.mmm", rounded to the millisecond.
"""

import datetime
import json
import sys

import openpyxl


def cell_value(value):
    if isinstance(value, datetime.datetime):
        value += datetime.timedelta(microseconds=500)
        return value.strftime("%Y-%m-%dT%H:%M:%S.") + "%03d" % (value.microsecond // 1000)
    return value


def main():
    workbook = openpyxl.load_workbook(sys.argv[1])
    sheets = []
    for sheet in workbook.worksheets:
        rows = []
        for row in sheet.iter_rows():
            cells = []
            for cell in row:
                if cell.value is None:
                    cells.append(None)
                    continue
                cells.append({"type": cell.data_type,
                              "value": cell_value(cell.value),
                              "format": cell.number_format,
                              "bold": bool(cell.font.b)})
            rows.append(cells)
        widths = {letter: dimension.width
                  for letter, dimension in sheet.column_dimensions.items()}
        sheets.append({"name": sheet.title, "widths": widths, "rows": rows})
    json.dump({"sheets": sheets}, sys.stdout)


main()
