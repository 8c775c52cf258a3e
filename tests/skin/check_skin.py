#!/usr/bin/env python3
"""Checks the built skin archive: image geometry, image references of the layouts, the control
names, texts and tooltips the program looks up, and that every tag and attribute the layouts use
is documented in the skin vocabulary.

Usage: check_skin.py SKIN_ZIP VOCABULARY_MD
"""
import re
import struct
import sys
import unittest
import xml.etree.ElementTree as ET
import zipfile
import zlib

ARCHIVE = None
VOCABULARY = None

LAYOUTS = ["MainWnd.xml", "FloatWnd.xml", "MessageWnd.xml", "audio_list_item.xml",
           "camera_list_item.xml", "file_list_item.xml"]

# name: (width, height, cell width, cell height); cells lie side by side from x = 0.
IMAGES = {
    "lcd_digit.png": (176, 22, 16, 22),
    "count_down.png": (800, 160, 160, 160),
    "camera_wnd.png": (360, 24, 24, 24),
    "radiobox.png": (63, 21, 21, 21),
    "checkbox.png": (63, 21, 21, 21),
    "fullscreen.png": (300, 100, 100, 100),
    "region.png": (300, 100, 100, 100),
    "start.png": (544, 56, 136, 56),
    "stop.png": (544, 56, 136, 56),
    "pause.png": (544, 56, 136, 56),
    "continue.png": (544, 56, 136, 56),
    "float_pause.png": (96, 32, 32, 32),
    "float_continue.png": (96, 32, 32, 32),
    "float_stop.png": (96, 32, 32, 32),
    "float_pop_main_wnd.png": (96, 32, 32, 32),
    "float_hide.png": (54, 19, 18, 19),
    "float_wnd.png": (200, 66, 200, 66),
    "trayWnd.png": (960, 593, 960, 593),
    "selclose.png": (20, 20, 20, 20),
    "microphone.png": (30, 23, 15, 23),
    "speaker.png": (30, 23, 15, 23),
    "play.png": (60, 24, 20, 24),
    "open.png": (75, 20, 25, 20),
    "delete.png": (69, 23, 23, 23),
    "tab_desktop.png": (600, 52, 150, 52),
    "tab_sound.png": (600, 52, 150, 52),
    "tab_camera.png": (600, 52, 150, 52),
    "tab_setting.png": (600, 52, 150, 52),
    "logo.png": (28, 28, 28, 28),
    "sys_min.png": (138, 48, 46, 48),
    "sys_close.png": (138, 48, 46, 48),
    "msg_close.png": (96, 32, 32, 32),
    "list_btn.png": (96, 24, 24, 24),
    "combo_arrow.png": (64, 16, 16, 16),
    "button.png": (256, 30, 64, 30),
    "button_primary.png": (256, 30, 64, 30),
    "slider_bk.png": (40, 28, 40, 28),
    "slider_fore.png": (40, 28, 40, 28),
    "slider_thumb.png": (42, 14, 14, 14),
    "card.png": (32, 32, 32, 32),
}

IMAGE_ATTRIBUTES = {"bkimage", "foreimage", "normalimage", "hotimage", "pushedimage", "disabledimage",
                    "focusedimage", "selectedimage", "selectedhotimage", "thumbimage", "thumbhotimage",
                    "thumbpushedimage", "layeredimage"}

PANELS = ["desktop_param_area", "audio_param_area", "camera_param_area"]
SOUND_ROW = ["speaker_select_box", "speaker_icon", "speaker_vol_slider", "speaker_vol_value",
             "speaker_list_btn", "mic_select_box", "mic_icon", "mic_vol_slider", "mic_vol_value",
             "mic_list_btn"]

# (layout, scope or None, name, tags the control may have)
NAMED_CONTROLS = [
    ("MainWnd.xml", None, "main_title_bar", {"TitleBar"}),
    ("MainWnd.xml", "main_title_bar", "main_icon", {"Label"}),
    ("MainWnd.xml", "main_title_bar", "main_minbtn", {"Button"}),
    ("MainWnd.xml", "main_title_bar", "main_closebtn", {"Button"}),
    ("MainWnd.xml", None, "main_left_tab", {"LeftTabBar"}),
    *[("MainWnd.xml", "main_left_tab", n, {"Option"})
      for n in ("desktop_btn", "sound_btn", "camera_btn", "setting_btn")],
    ("MainWnd.xml", None, "main_record_area", {"RecordArea"}),
    ("MainWnd.xml", "main_record_area", "desktop_param_area", {"DesktopArea"}),
    ("MainWnd.xml", "main_record_area", "audio_param_area", {"AudioArea"}),
    ("MainWnd.xml", "main_record_area", "camera_param_area", {"CameraArea"}),
    ("MainWnd.xml", "main_record_area", "sel_rgn_area", {"VerticalLayout"}),
    ("MainWnd.xml", "sel_rgn_area", "sel_rgn_btn", {"Button"}),
    ("MainWnd.xml", "sel_rgn_area", "sel_rgn_btn_info", {"Label"}),
    ("MainWnd.xml", "sel_rgn_area", "switch_btn", {"Button"}),
    ("MainWnd.xml", "main_record_area", "pause_continue_btn", {"Button"}),
    ("MainWnd.xml", "main_record_area", "start_stop_btn", {"Button"}),
    ("MainWnd.xml", "main_record_area", "file_list", {"FileList"}),
    *[("MainWnd.xml", p, n, {"SliderEx"}) for p in ("desktop_param_area", "camera_param_area")
      for n in ("video_quality_slider", "audio_quality_slider")],
    *[("MainWnd.xml", p, n, {"Edit"}) for p in ("desktop_param_area", "camera_param_area")
      for n in ("video_quality_val", "audio_quality_val")],
    ("MainWnd.xml", "audio_param_area", "audio_quality_slider", {"SliderEx"}),
    ("MainWnd.xml", "audio_param_area", "audio_quality_val", {"Edit"}),
    *[("MainWnd.xml", p, n, {"CheckBoxEx"}) for p in PANELS for n in ("speaker_select_box", "mic_select_box")],
    *[("MainWnd.xml", p, n, {"Button"}) for p in PANELS
      for n in ("speaker_icon", "mic_icon", "speaker_list_btn", "mic_list_btn")],
    *[("MainWnd.xml", p, n, {"SliderEx"}) for p in PANELS for n in ("speaker_vol_slider", "mic_vol_slider")],
    *[("MainWnd.xml", p, n, {"Edit"}) for p in PANELS for n in ("speaker_vol_value", "mic_vol_value")],
    *[("MainWnd.xml", p, "camera_select_box", {"CheckBoxEx"}) for p in ("desktop_param_area", "camera_param_area")],
    *[("MainWnd.xml", p, "camera_list_btn", {"Button"}) for p in ("desktop_param_area", "camera_param_area")],
    ("MainWnd.xml", None, "main_setting_area", {"SettingArea"}),
    ("MainWnd.xml", "main_setting_area", "output_dir", {"Edit"}),
    ("MainWnd.xml", "main_setting_area", "browse_btn", {"Button"}),
    ("MainWnd.xml", "main_setting_area", "desktop_frames", {"Combo"}),
    ("MainWnd.xml", "main_setting_area", "key_combo", {"Combo"}),
    ("MainWnd.xml", "main_setting_area", "count_down_val", {"Combo"}),
    *[("MainWnd.xml", "main_setting_area", n, {"Option"})
      for n in ("start_stop_item", "pause_continue_item", "select_desktop_rgn_item", "show_hide_main_wnd")],
    *[("MainWnd.xml", "main_setting_area", n, {"CheckBoxEx"})
      for n in ("record_mouse", "constant_frame_rate", "ctrl_key", "shift_key", "alt_key", "boot_start_program",
                "start_begin_record", "count_down", "record_hide_wnd", "close_to_exit", "close_to_hide",
                "hide_desk_area_wnd")],
    *[("FloatWnd.xml", None, n, {"Button"})
      for n in ("pause_continue_btn", "stop_btn", "show_main_wnd", "hide_float_wnd")],
    *[("FloatWnd.xml", None, n, {"LCDDigit"}) for n in ("h_ten", "h_one", "m_ten", "m_one", "s_ten", "s_one")],
    *[("MessageWnd.xml", None, n, {"Option"}) for n in ("optMin", "optClose")],
    ("MessageWnd.xml", None, "chkPrompt", {"CheckBox", "CheckBoxEx"}),
    *[("MessageWnd.xml", None, n, {"Button"}) for n in ("btnOK", "btnCancel", "closebtn")],
    ("audio_list_item.xml", None, "select_box", {"CheckBoxEx"}),
    ("audio_list_item.xml", None, "icon", {"Button"}),
    ("audio_list_item.xml", None, "vol_slider", {"SliderEx"}),
    ("audio_list_item.xml", None, "vol_value", {"Edit"}),
    ("camera_list_item.xml", None, "camera_select_box", {"CheckBoxEx"}),
    *[("file_list_item.xml", None, n, {"Label"})
      for n in ("file", "time1", "time2", "time3", "time4", "time5", "size")],
    ("file_list_item.xml", None, "btns", {"HorizontalLayout"}),
    *[("file_list_item.xml", "btns", n, {"Button"}) for n in ("play", "open_dir", "del")],
]

# (layout, scope or None, name, attribute, value)
ATTRIBUTES = [
    ("MainWnd.xml", None, "main_title_bar", "name", "main_title_bar"),
    ("MainWnd.xml", "main_title_bar", "main_title", "text", "Miravo"),
    ("MainWnd.xml", None, "sel_rgn_btn", "tooltip", "全屏录制模式"),
    ("MainWnd.xml", None, "sel_rgn_btn_info", "text", "全屏"),
    ("MainWnd.xml", None, "switch_btn", "text", "切换到区域"),
    ("MainWnd.xml", None, "start_stop_btn", "tooltip", "开始录制"),
    ("MainWnd.xml", None, "start_stop_btn", "padding", "72,20,0,0"),
    ("MainWnd.xml", None, "file_list", "inset", "0,2,0,4"),
    ("MainWnd.xml", None, "file_list", "itemselectedbkcolor", "#FF315359"),
    ("MainWnd.xml", None, "file_list", "itemhotbkcolor", "#FF324346"),
    ("MainWnd.xml", None, "file_list", "multiselect", "false"),
    ("MainWnd.xml", None, "file_list", "vscrollbar", "true"),
    ("MainWnd.xml", None, "file_list", "header", "hidden"),
    ("MainWnd.xml", None, "browse_btn", "text", "浏览(B)..."),
    ("MainWnd.xml", None, "output_dir", "readonly", "true"),
    ("MainWnd.xml", None, "record_mouse", "text", "录制鼠标"),
    ("MainWnd.xml", None, "constant_frame_rate", "text", "固定帧率(便于剪辑)"),
    ("MainWnd.xml", None, "start_stop_item", "text", "开始/停止录制"),
    ("MainWnd.xml", None, "pause_continue_item", "text", "暂停/继续录制"),
    ("MainWnd.xml", None, "select_desktop_rgn_item", "text", "选择屏幕录制区域"),
    ("MainWnd.xml", None, "show_hide_main_wnd", "text", "显示/隐藏主窗口"),
    *[("MainWnd.xml", None, n, "group", "hotkey_group")
      for n in ("start_stop_item", "pause_continue_item", "select_desktop_rgn_item", "show_hide_main_wnd")],
    ("MainWnd.xml", None, "ctrl_key", "text", "Ctrl"),
    ("MainWnd.xml", None, "shift_key", "text", "Shift"),
    ("MainWnd.xml", None, "alt_key", "text", "Alt"),
    ("MainWnd.xml", None, "key_combo", "tooltip", "红色边框表示该热键不可用"),
    ("MainWnd.xml", None, "boot_start_program", "text", "开机时自动启动"),
    ("MainWnd.xml", None, "start_begin_record", "text", "启动时自动录制"),
    ("MainWnd.xml", None, "start_begin_record", "visible", "false"),
    ("MainWnd.xml", None, "count_down", "text", "开始录制前倒计时"),
    ("MainWnd.xml", None, "record_hide_wnd", "text", "录制时隐藏悬浮窗口"),
    ("MainWnd.xml", None, "close_to_exit", "text", "退出程序"),
    ("MainWnd.xml", None, "close_to_exit", "group", "close_btn_opt"),
    ("MainWnd.xml", None, "close_to_exit", "selected", "true"),
    ("MainWnd.xml", None, "close_to_hide", "text", "最小化到系统托盘"),
    ("MainWnd.xml", None, "close_to_hide", "group", "close_btn_opt"),
    ("MainWnd.xml", None, "hide_desk_area_wnd", "text", "录屏时隐藏区域选择窗口"),
    ("MainWnd.xml", "desktop_param_area", "speaker_vol_slider", "imm", None),
    ("MainWnd.xml", "desktop_param_area", "mic_vol_slider", "tooltip", "0至100, 录制该麦克风音量"),
    ("FloatWnd.xml", None, "float_row", "inset", "20,8,20,8"),
    ("FloatWnd.xml", None, "float_row", "bkcolor", "#FF303030"),
    ("FloatWnd.xml", None, "pause_continue_btn", "tooltip", "继续录制"),
    ("FloatWnd.xml", None, "pause_continue_btn", "mouse", "false"),
    ("FloatWnd.xml", None, "stop_btn", "tooltip", "停止录制"),
    ("FloatWnd.xml", None, "stop_btn", "padding", "4,0,0,0"),
    ("FloatWnd.xml", None, "show_main_wnd", "tooltip", "显示主窗口"),
    ("FloatWnd.xml", None, "hide_float_wnd", "tooltip", "自动隐藏"),
    ("MessageWnd.xml", None, "optMin", "text", "最小化到托盘，不退出程序"),
    ("MessageWnd.xml", None, "optClose", "text", "退出程序"),
    ("MessageWnd.xml", None, "chkPrompt", "text", "不再提示"),
    ("MessageWnd.xml", None, "closebtn", "tooltip", "关闭"),
    ("audio_list_item.xml", None, "vol_slider", "imm", "true"),
    ("audio_list_item.xml", None, "vol_slider", "min", "0"),
    ("audio_list_item.xml", None, "vol_slider", "max", "100"),
    ("audio_list_item.xml", None, "vol_value", "readonly", "true"),
    ("camera_list_item.xml", None, "camera_select_box", "padding", "0,0,18,0"),
    ("file_list_item.xml", None, "file", "width", "245"),
    ("file_list_item.xml", None, "time1", "padding", "26,0,0,0"),
    ("file_list_item.xml", None, "size", "padding", "26,0,0,0"),
    ("file_list_item.xml", None, "size", "width", "120"),
    ("file_list_item.xml", None, "btns", "width", "110"),
    ("file_list_item.xml", None, "play", "tooltip", "播放该文件"),
    ("file_list_item.xml", None, "open_dir", "tooltip", "打开文件所在目录"),
    ("file_list_item.xml", None, "open_dir", "padding", "10,0,0,0"),
    ("file_list_item.xml", None, "del", "tooltip", "删除该文件"),
    ("file_list_item.xml", None, "del", "padding", "10,0,0,0"),
]


# ---- helpers -------------------------------------------------------------------------------

def read_png(data):
    """Decodes an 8-bit non-interlaced PNG to (width, height, rows of RGBA bytes)."""
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG")
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        chunk = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", chunk)
        elif kind == b"IDAT":
            idat += chunk
    width, height, depth, colour, _, _, interlace = header
    channels = {6: 4, 2: 3, 4: 2, 0: 1}[colour]
    if depth != 8 or interlace:
        raise ValueError("unsupported PNG layout")
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, prev, pos = [], bytearray(stride), 0
    for _ in range(height):
        kind, line = raw[pos], bytearray(raw[pos + 1:pos + 1 + stride])
        pos += 1 + stride
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            b = prev[i]
            c = prev[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[i] = (line[i] + pred) & 255
        rows.append(bytes(line))
        prev = line
    if channels != 4:
        raise ValueError("skin images are RGBA")
    return width, height, rows


def cell_pixels(png, x0, w):
    return tuple(row[x0 * 4:(x0 + w) * 4] for row in png[2])


def parse_image_string(value):
    """Returns a dict of the keys of an image string; a plain file name gives {'file': name}."""
    if "=" not in value:
        return {"file": value.strip()}
    pairs = re.findall(r"(\w+)='([^']*)'", value)
    rest = re.sub(r"(\w+)='([^']*)'", "", value).strip()
    if rest:
        raise ValueError(f"stray text in image string: {value!r}")
    return dict(pairs)


def rect(text):
    parts = [int(p) for p in text.split(",")]
    if len(parts) != 4:
        raise ValueError(text)
    return parts


def default_attributes(root):
    """Attributes of <Default> elements by class, parsed from their attribute lists."""
    out = {}
    for d in root.iter("Default"):
        out[d.get("name")] = dict(re.findall(r'(\w+)="([^"]*)"', d.get("value")))
    return out


class Skin:
    def __init__(self, path):
        self.zip = zipfile.ZipFile(path)
        self.names = set(self.zip.namelist())
        self.layouts = {n: ET.fromstring(self.zip.read(n)) for n in LAYOUTS if n in self.names}
        self._png = {}

    def png(self, name):
        if name not in self._png:
            self._png[name] = read_png(self.zip.read(name))
        return self._png[name]

    def image_uses(self):
        """(layout, element, attribute, parsed image string) for every image string of the layouts."""
        for layout, root in self.layouts.items():
            for el in root.iter():
                for attr, value in el.attrib.items():
                    if attr in IMAGE_ATTRIBUTES:
                        yield layout, el, attr, parse_image_string(value)
                defaults = dict(re.findall(r'(\w+)="([^"]*)"', el.get("value", ""))) if el.tag == "Default" else {}
                for attr, value in defaults.items():
                    if attr in IMAGE_ATTRIBUTES:
                        yield layout, el, attr, parse_image_string(value)


NOT_CONTROLS = {"Window", "Font", "Default"}


def controls(root):
    return (el for el in root.iter() if el.tag not in NOT_CONTROLS)


def find(root, name):
    return [el for el in controls(root) if el.get("name") == name]


def find_one(root, scope, name):
    if scope is not None:
        scopes = find(root, scope)
        assert len(scopes) == 1, f"scope {scope} found {len(scopes)} times"
        root = scopes[0]
    hits = find(root, name)
    assert len(hits) == 1, f"{name} found {len(hits)} times under {scope or 'the root'}"
    return hits[0]


def fixed_run(el):
    """Horizontal space a HorizontalLayout's children take: widths, left/right paddings, insets."""
    inset = rect(el.get("inset", "0,0,0,0"))
    total = inset[0] + inset[2]
    for child in el:
        if child.get("visible") == "false":
            continue
        pad = rect(child.get("padding", "0,0,0,0"))
        total += int(child.get("width")) + pad[0] + pad[2]
    return total


# ---- tests ---------------------------------------------------------------------------------

class ArchiveTest(unittest.TestCase):
    def setUp(self):
        self.skin = Skin(ARCHIVE)

    def test_archive_is_flat_and_holds_every_layout(self):
        for name in LAYOUTS:
            self.assertIn(name, self.skin.names)
        self.assertFalse([n for n in self.skin.names if "/" in n], "entries must lie at the root")

    def test_images_have_the_named_size(self):
        for name, (w, h, _, _) in IMAGES.items():
            with self.subTest(image=name):
                self.assertIn(name, self.skin.names)
                pw, ph, _ = self.skin.png(name)
                self.assertEqual((pw, ph), (w, h))

    def test_every_cell_is_drawn_and_differs_from_its_neighbours(self):
        for name, (w, h, cw, ch) in IMAGES.items():
            if name not in self.skin.names:
                continue
            png = self.skin.png(name)
            cells = [cell_pixels(png, x, cw) for x in range(0, w, cw)]
            with self.subTest(image=name):
                self.assertEqual(w % cw, 0)
                self.assertEqual(h, ch)
                for i, cell in enumerate(cells):
                    self.assertTrue(any(row[3::4].strip(b"\0") for row in cell), f"cell {i} is empty")
                self.assertEqual(len(set(cells)), len(cells), "two cells are identical")


class LayoutImageTest(unittest.TestCase):
    def setUp(self):
        self.skin = Skin(ARCHIVE)

    def test_every_referenced_image_is_in_the_archive(self):
        for layout, el, attr, img in self.skin.image_uses():
            with self.subTest(layout=layout, control=el.get("name", el.tag), attribute=attr):
                self.assertIn(img["file"], self.skin.names)

    def test_sources_are_whole_cells_and_drawn_unscaled(self):
        for layout, el, attr, img in self.skin.image_uses():
            name = img["file"]
            if name not in IMAGES or el.tag == "LCDDigit":  # the digit control picks its own cell
                continue
            w, h, cw, ch = IMAGES[name]
            with self.subTest(layout=layout, control=el.get("name", el.tag), attribute=attr):
                src = rect(img["source"]) if "source" in img else [0, 0, w, h]
                self.assertTrue(0 <= src[0] < src[2] <= w and 0 <= src[1] < src[3] <= h, f"source {src}")
                if (cw, ch) != (w, h) and "thumb" not in attr:
                    self.assertEqual((src[0] % cw, src[2] - src[0], src[3] - src[1]), (0, cw, ch),
                                     f"source {src} is not one {cw} x {ch} cell of {name}")
                if "dest" in img and "corner" not in img:
                    d = rect(img["dest"])
                    self.assertEqual((d[2] - d[0], d[3] - d[1]), (src[2] - src[0], src[3] - src[1]),
                                     "a cell drawn at another size would be blurred")

    def test_state_images_without_dest_fit_their_control(self):
        for layout, el, attr, img in self.skin.image_uses():
            if el.tag == "Default" or "dest" in img or "corner" in img or attr == "layeredimage":
                continue
            if img["file"] not in IMAGES or not el.get("width") or not el.get("height"):
                continue
            w, h, cw, ch = IMAGES[img["file"]]
            with self.subTest(layout=layout, control=el.get("name", el.tag), attribute=attr):
                if attr.startswith("thumb"):
                    self.assertEqual(el.get("thumbsize"), f"{cw},{ch}")
                else:
                    self.assertEqual((int(el.get("width")), int(el.get("height"))), (cw, ch))


class LayoutContentTest(unittest.TestCase):
    def setUp(self):
        self.skin = Skin(ARCHIVE)

    def test_named_controls_exist_once_with_their_tag(self):
        for layout, scope, name, tags in NAMED_CONTROLS:
            with self.subTest(layout=layout, scope=scope, name=name):
                el = find_one(self.skin.layouts[layout], scope, name)
                self.assertIn(el.tag, tags)

    def test_texts_tooltips_and_attributes(self):
        for layout, scope, name, attr, value in ATTRIBUTES:
            with self.subTest(layout=layout, name=name, attribute=attr):
                el = find_one(self.skin.layouts[layout], scope, name)
                if value is None:  # given by the class default
                    defaults = default_attributes(self.skin.layouts[layout]).get(el.tag, {})
                    self.assertEqual(el.get(attr, defaults.get(attr)), "true")
                else:
                    self.assertEqual(el.get(attr), value)

    def test_names_are_unique_outside_the_source_panels(self):
        root = self.skin.layouts["MainWnd.xml"]
        panel_names = set()
        for panel in PANELS:
            names = [el.get("name") for el in find_one(root, None, panel).iter() if el.get("name")]
            self.assertEqual(len(names), len(set(names)), panel)
            panel_names.update(names[1:])
        for layout, lroot in self.skin.layouts.items():
            names = [el.get("name") for el in controls(lroot) if el.get("name") and el.get("name") not in panel_names]
            with self.subTest(layout=layout):
                self.assertEqual(len(names), len(set(names)))
        for panel in PANELS:
            names = {el.get("name") for el in find_one(root, None, panel).iter()}
            self.assertTrue(set(SOUND_ROW) <= names, panel)

    def test_window_geometry(self):
        main = self.skin.layouts["MainWnd.xml"]
        for attr in ("size", "mininfo", "maxinfo"):
            self.assertEqual(main.get(attr), "960,593")
        self.assertEqual(main.get("caption"), "0,0,0,50")
        float_wnd = self.skin.layouts["FloatWnd.xml"]
        self.assertEqual(float_wnd.get("size"), "380,48")
        self.assertEqual(float_wnd.get("layeredimage"),
                         "file='float_wnd.png' source='0,8,200,58' corner='16,16,16,16'")
        self.assertEqual(float_wnd.get("opacity"), "255")
        msg = self.skin.layouts["MessageWnd.xml"]
        self.assertEqual((msg.get("size"), msg.get("layeredimage")), ("960,593", "trayWnd.png"))

    def test_title_bar_fills_the_caption(self):
        main = self.skin.layouts["MainWnd.xml"]
        root = main.find("VerticalLayout")
        top = rect(root.get("inset", "0,0,0,0"))[1]
        self.assertEqual(top + int(find_one(main, None, "main_title_bar").get("height")), 50)

    def test_float_bar_order_and_width(self):
        row = find_one(self.skin.layouts["FloatWnd.xml"], None, "float_row")
        order = [el.get("name") for el in row if el.get("name")]
        self.assertEqual(order, ["pause_continue_btn", "stop_btn", "h_ten", "h_one", "colon_1", "m_ten", "m_one",
                                 "colon_2", "s_ten", "s_one", "show_main_wnd", "hide_float_wnd"])
        separators = [el for el in row if el.get("width") == "1"]
        self.assertEqual(len(separators), 4)
        self.assertEqual(fixed_run(row), 380, "the row should fill the bar so that its margins match")
        for digit in ("h_ten", "h_one", "m_ten", "m_one", "s_ten", "s_one", "colon_1", "colon_2"):
            self.assertEqual(find_one(row, None, digit).get("width"), "17")

    def test_exit_prompt_controls_lie_on_the_card(self):
        card = (280, 176, 680, 416)  # drawn into trayWnd.png
        for el in controls(self.skin.layouts["MessageWnd.xml"]):
            if el.get("float") != "true":
                continue
            l, t, r, b = rect(el.get("pos"))
            with self.subTest(control=el.get("name")):
                self.assertTrue(card[0] <= l < r <= card[2] and card[1] <= t < b <= card[3], (l, t, r, b))

    def test_rows_fit_where_they_are_shown(self):
        audio = self.skin.layouts["audio_list_item.xml"]
        self.assertEqual((audio.get("width"), audio.get("height")), ("320", "28"))
        self.assertLessEqual(fixed_run(audio), 320)
        cam = self.skin.layouts["camera_list_item.xml"]
        self.assertEqual((cam.tag, cam.get("width"), cam.get("height")), ("CheckBoxEx", "120", "28"))
        # The camera row shows box 0, boxes 1 (item padding 18) and 2 (padding 3) and the list button.
        main = self.skin.layouts["MainWnd.xml"]
        for panel in ("desktop_param_area", "camera_param_area"):
            area = find_one(main, None, panel)
            column = area.find("VerticalLayout")
            width = 476 - sum(rect(column.get("inset"))[i] for i in (0, 2))
            box = find_one(area, None, "camera_select_box")
            row = next(r for r in column if box in list(r))
            needed = fixed_run(row) + 2 * (120 + 18) - 15
            with self.subTest(panel=panel):
                self.assertLessEqual(needed, width)
                for r in column:
                    self.assertLessEqual(fixed_run(r), width)

    def test_combo_items(self):
        main = self.skin.layouts["MainWnd.xml"]
        frames = [i.get("text") for i in find_one(main, None, "desktop_frames")]
        self.assertEqual(frames, ["1", "5", "10", "15", "20", "24", "30", "50"])
        self.assertEqual([i.get("text") for i in find_one(main, None, "count_down_val")],
                         ["1", "2", "3", "4", "5"])
        self.assertEqual(list(find_one(main, None, "key_combo")), [])

    def test_each_group_has_exactly_one_selected(self):
        for layout, root in self.skin.layouts.items():
            groups = {}
            for el in root.iter():
                if el.get("group"):
                    groups.setdefault(el.get("group"), []).append(el.get("selected") == "true")
            for group, selected in groups.items():
                with self.subTest(layout=layout, group=group):
                    self.assertEqual(sum(selected), 1)

    def test_only_the_screen_panel_and_record_page_show_at_first(self):
        main = self.skin.layouts["MainWnd.xml"]
        visible = {n: find_one(main, None, n).get("visible", "true") for n in
                   PANELS + ["main_setting_area", "pause_continue_btn", "start_stop_btn"]}
        self.assertEqual(visible, {"desktop_param_area": "true", "audio_param_area": "false",
                                   "camera_param_area": "false", "main_setting_area": "false",
                                   "pause_continue_btn": "false", "start_stop_btn": "true"})


class VocabularyTest(unittest.TestCase):
    def test_every_tag_and_attribute_is_documented(self):
        doc = open(VOCABULARY, encoding="utf-8").read()
        documented = set(re.findall(r"`<?([A-Za-z]+)[ >`]", doc))
        skin = Skin(ARCHIVE)
        for layout, root in skin.layouts.items():
            for el in root.iter():
                attrs = dict(el.attrib)
                if el.tag == "Default":
                    attrs.update(re.findall(r'(\w+)="([^"]*)"', el.get("value")))
                for name in [el.tag, *attrs]:
                    with self.subTest(layout=layout, name=name):
                        self.assertTrue(name in documented, f"{name} is not in {VOCABULARY}")

    def test_image_strings_use_known_keys(self):
        for layout, el, attr, img in Skin(ARCHIVE).image_uses():
            with self.subTest(layout=layout, control=el.get("name", el.tag), attribute=attr):
                self.assertLessEqual(set(img), {"file", "source", "dest", "corner", "fade"})
                for key in ("source", "dest", "corner"):
                    if key in img:
                        rect(img[key])


if __name__ == "__main__":
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    ARCHIVE, VOCABULARY = sys.argv[1], sys.argv[2]
    unittest.main(argv=[sys.argv[0], *sys.argv[3:]], verbosity=1)
