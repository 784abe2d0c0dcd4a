#!/usr/bin/env python3
"""tools/read-protected on the example of docs/protected-file-format.md, as the
document shows it, with its line ends changed to LF or a byte order mark added,
and on a file whose last Base64 line reads "tag=". CTest runs it."""

import base64
import importlib.machinery
import importlib.util
import pathlib
import re
import unittest

ROOT = pathlib.Path(__file__).resolve().parents[2]
_loader = importlib.machinery.SourceFileLoader("read_protected", str(ROOT / "tools" / "read-protected"))
tool = importlib.util.module_from_spec(importlib.util.spec_from_loader(_loader.name, _loader))
_loader.exec_module(tool)

_doc = (ROOT / "docs" / "protected-file-format.md").read_text(encoding="utf-8")
_block = re.search(r"\n((?:    \S.*\n)+)", _doc[_doc.index("An example"):]).group(1)
EXAMPLE = b"".join(line[4:].encode() + b"\r\n" for line in _block.splitlines())
PASSWORD = "鍵 key".encode()
PLAIN = (b"KEYLOOM1\r\n1\r\n\x8b\xe2\x8d\x73\r\nuser\r\npa55\r\nhttps://example.com/\r\n"
         b"mail@example.com\r\n1\r\nmemo\r\n")


class ReadProtected(unittest.TestCase):
    def test_line_ends_changed_to_lf_or_a_byte_order_mark_are_read_as_written(self):
        lf = EXAMPLE.replace(b"\r\n", b"\n")
        for data in (EXAMPLE, lf, b"\xef\xbb\xbf" + EXAMPLE, b"\xef\xbb\xbf" + lf):
            with self.subTest(start=data[:24]):
                self.assertTrue(tool.is_protected(data))
                self.assertEqual(tool.open_file(data, PASSWORD), (PLAIN, False))

    def test_the_tag_line_is_the_last_even_after_a_base64_line_that_reads_tag(self):
        cipher = bytes(57) + b"\xb5\xa8"
        body = base64.b64encode(cipher)
        lines = EXAMPLE.split(b"\r\n")
        data = b"\r\n".join(lines[:9] + [body[:76], body[76:], lines[-2], b""])
        self.assertEqual(body[76:], b"tag=")
        read = tool.read_file(data)
        self.assertEqual(read["cipher"], cipher)
        self.assertEqual(read["tag"].hex(), lines[-2][4:].decode())


if __name__ == "__main__":
    unittest.main()
