#!/usr/bin/env python3
"""Writes the microphone settings dialog template, res/dialogs/105.json.

Eighty combos in twenty rows are easier to review as the rules below than as
a hand-kept table. The template order is the dialog's tab order: the two
buttons, then row by row the channel, dome and preset combos, then the twenty
camera-type combos. Labels come first; they take no focus.

    python3 tools/dialogs/make_mic_template.py > res/dialogs/105.json
"""
import json

ROWS = 20
LEFT_COLUMNS = (33, 95, 158, 222)    # camera type, channel, dome, preset
RIGHT_COLUMNS = (331, 397, 460, 524)
ROW_TOPS = (15, 35, 57, 78, 102, 123, 145, 165, 185, 208)
COMBO_WIDTH = 48
HEADERS = ("摄像机类型", "通道号", "球机号", "预置位")

CAMERA_ITEMS = ["SONY", "海康", "枪机"]
CHANNEL_ITEMS = [str(n) for n in range(1, 13)]
DOME_ITEMS = [str(n) for n in range(1, 17)] + ["不使用球机"]
PRESET_ITEMS = [str(n) for n in range(1, 33)]


def ids(row: int) -> tuple:
    """Camera-type, channel, dome and preset ids of a row (1 to 20)."""
    camera = 1091 + row
    if row == 1:
        return camera, 1032, 1034, 1035
    if row == 2:
        return camera, 1033, 1036, 1037
    return camera, 1029 + 3 * row, 1030 + 3 * row, 1031 + 3 * row


def place(row: int) -> tuple:
    columns = LEFT_COLUMNS if row <= 10 else RIGHT_COLUMNS
    return columns, ROW_TOPS[(row - 1) % 10]


def combo(control_id: int, x: int, y: int, items: list, drop_height: int) -> dict:
    return {"id": control_id, "kind": "combo", "style": ["droplist", "vscroll"], "items": items,
            "rect": [x, y, COMBO_WIDTH, drop_height]}


def controls() -> list:
    result = []
    for columns in (LEFT_COLUMNS, RIGHT_COLUMNS):
        for x, text in zip(columns, HEADERS):
            result.append({"id": -1, "kind": "static", "text": text, "rect": [x, 3, COMBO_WIDTH, 8]})
    for row in range(1, ROWS + 1):
        columns, y = place(row)
        label_x = 2 if row <= 10 else 297
        result.append({"id": -1, "kind": "static", "text": f"话筒{row}：",
                       "rect": [label_x, y + 2, columns[0] - label_x - 1, 8], "for": ids(row)[0]})
    result.append({"id": 1, "kind": "defbutton", "text": "确定", "rect": [161, 231, 50, 14]})
    result.append({"id": 2, "kind": "button", "text": "取消", "rect": [361, 231, 50, 14]})
    for row in range(1, ROWS + 1):
        (_, x_channel, x_dome, x_preset), y = place(row)
        _, channel, dome, preset = ids(row)
        # Row 1's channel list has always carried a thirteenth, empty item.
        channel_items = CHANNEL_ITEMS + [""] if row == 1 else CHANNEL_ITEMS
        result.append(combo(channel, x_channel, y, channel_items, 100))
        result.append(combo(dome, x_dome, y, DOME_ITEMS, 120))
        result.append(combo(preset, x_preset, y, PRESET_ITEMS, 120))
    for row in range(1, ROWS + 1):
        columns, y = place(row)
        result.append(combo(ids(row)[0], columns[0], y, CAMERA_ITEMS, 50))
    return result


def main() -> None:
    header = {"id": 105, "caption": "话筒设置界面", "width": 591, "height": 257,
              "font": "MS Sans Serif", "pointSize": 10}
    head = json.dumps(header, ensure_ascii=False)[:-1]
    lines = [json.dumps(c, ensure_ascii=False) for c in controls()]
    print("{\n  " + head[1:] + ",\n  \"controls\": [\n    " + ",\n    ".join(lines) + "\n  ]\n}")


if __name__ == "__main__":
    main()
