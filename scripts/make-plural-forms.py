#!/usr/bin/env python3
"""Fills the English singular and plural forms of translations/tallowk_en.ts.

Run after `lupdate -pluralonly -no-obsolete -locations none src -ts
translations/tallowk_en.ts` has collected the texts counted with %n: the
first "(s)" after %n becomes "" in the singular and "s" in the plural
("copy(s)" becomes "copy" and "copies"); a text without one keeps its words.
Only new texts are filled: forms written by hand ("%n set has ...") stay.
"""
import re
import sys
import xml.etree.ElementTree as ET

path = sys.argv[1] if len(sys.argv) > 1 else "translations/tallowk_en.ts"
tree = ET.parse(path)


def forms(source):
    at = source.find("%n")
    head, tail = (source[:at], source[at:]) if at >= 0 else ("", source)
    special = re.search(r"\bcopy\(s\)", tail)
    if special:
        return (head + tail.replace("copy(s)", "copy", 1), head + tail.replace("copy(s)", "copies", 1))
    return (head + tail.replace("(s)", "", 1), head + tail.replace("(s)", "s", 1))


for message in tree.getroot().iter("message"):
    if message.get("numerus") != "yes":
        continue
    translation = message.find("translation")
    written = [form.text for form in translation.findall("numerusform") if form.text]
    if translation.get("type") != "unfinished" and len(written) == 2:
        continue
    singular, plural = forms(message.find("source").text)
    translation.attrib.pop("type", None)
    for child in list(translation):
        translation.remove(child)
    for text in (singular, plural):
        form = ET.SubElement(translation, "numerusform")
        form.text = text

tree.write(path, encoding="utf-8", xml_declaration=True)
