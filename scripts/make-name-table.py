#!/usr/bin/env python3
"""Builds resources/names/ja-en.json, the Japanese-to-English name table.

Species names come from the recorded card database answers: a Japanese card
and an English card that show the same single national Pokedex number name
the same species, so the most frequent Japanese base name of a number maps to
the most frequent English base name of it (a trailing mechanic such as "ex"
or "VMAX" set aside on both sides). English set names of Japanese sets come
from the recorded TCGCSV group list of category 85, whose abbreviations are
the card database's Japanese set ids. Everything the data cannot give (form
prefixes, owners, energies, series names) is kept by hand in
resources/names/ja-en.hand.json, whose entries win over generated ones.

Usage: scripts/make-name-table.py [--webdata DIR] [--output FILE]
DIR defaults to ../shared/webdata beside the repository.
"""
import collections
import os
import re
import unicodedata

from recorded_data import body, load_answers, most_frequent, parse_arguments, read_json, write_json

# Trailing mechanics as the program splits them off, longest first where one
# ends another.
SUFFIXES = ["V-UNION", "VMAX", "VSTAR", "BREAK", "LV.X", "Lv.X", "GX", "EX", "ex", "V", "\u03b4", "\u2606"]
SECTIONS = ["cards", "owners", "setNames", "serieNames", "sets", "series", "forms"]
NORMALISED = {"cards", "owners", "setNames", "serieNames", "forms"}


def nfkc(text):
    return unicodedata.normalize("NFKC", text)


def base_name(name):
    """The name without a trailing mechanic, with or without a blank before it."""
    name = name.strip()
    for suffix in SUFFIXES:
        if len(name) > len(suffix) and name.endswith(suffix):
            return name[: -len(suffix)].rstrip(" -")
    return name


def species_by_dex(answers, language, clean):
    """Most frequent base name per single Pokedex number."""
    counts = collections.defaultdict(collections.Counter)
    prefix = "/v2/%s/cards/" % language
    for key, card in answers.items():
        if not key.startswith(prefix) or not isinstance(card, dict):
            continue
        dex = card.get("dexId")
        if not isinstance(dex, list) or len(dex) != 1:
            continue
        name = clean(card.get("name", ""))
        if name:
            counts[dex[0]][name] += 1
    return {dex: most_frequent(c) for dex, c in counts.items()}


def is_japanese(text):
    return any(unicodedata.name(ch, "").startswith(("KATAKANA", "HIRAGANA", "CJK")) for ch in text)


def japanese_species(answers):
    def clean(name):
        name = nfkc(base_name(nfkc(name)))
        # Only names written in Japanese: the recorded data spells some old
        # cards in machine-translated Latin letters.
        return name if name and is_japanese(name) and " " not in name else ""
    return species_by_dex(answers, "ja", clean)


# English words that qualify a species on a card without being part of its
# name; with the form prefixes of the hand-kept file they keep a regional or
# special form from standing for the species.
ENGLISH_QUALIFIERS = ["Bloodmoon", "Radiant", "Shining", "Dark", "Light", "M"]


def english_species(answers, forms):
    qualifiers = tuple(q + " " for q in list(forms) + ENGLISH_QUALIFIERS)

    def clean(name):
        name = base_name(name)
        if name.startswith(qualifiers) or "'s " in name:
            return ""
        return name
    return species_by_dex(answers, "en", clean)


def set_names(groups, japanese_set_ids):
    """English set names by Japanese set id, from the TCGCSV group list."""
    names = {}
    for group in groups:
        set_id = group.get("abbreviation", "")
        if set_id not in japanese_set_ids or set_id in names:
            continue
        name = group.get("name", "").strip()
        # "SV1a: Triplet Beat" -> "Triplet Beat"; the code before the colon
        # repeats the set id.
        name = re.sub(r"^[A-Za-z0-9+.\-]+: ", "", name)
        if name and "(No Rarity)" not in name:
            names[set_id] = name
    return names


def main():
    args = parse_arguments(__doc__.splitlines()[0], ("resources", "names", "ja-en.hand.json"),
                           ("resources", "names", "ja-en.json"))

    ja = load_answers(os.path.join(args.webdata, "tcgdex", "ja.json.gz"))
    en = load_answers(os.path.join(args.webdata, "tcgdex", "en.json.gz"))
    groups = body(load_answers(os.path.join(args.webdata, "tcgcsv", "85.json.gz"))["/tcgplayer/85/groups"])["results"]
    japanese_set_ids = {s["id"] for s in ja["/v2/ja/sets?sort:field=releaseDate&sort:order=ASC"]}

    hand = read_json(args.hand)

    table = {section: {} for section in SECTIONS}
    english = english_species(en, hand.get("forms", {}).values())
    for dex, japanese in japanese_species(ja).items():
        if dex in english:
            table["cards"][japanese] = english[dex]
    table["sets"].update(set_names(groups, japanese_set_ids))

    for section in SECTIONS:
        for key, value in hand.get(section, {}).items():
            table[section][nfkc(key) if section in NORMALISED else key] = value

    document = {"format": "tallowk-translations", "version": 1,
                "note": "Generated by scripts/make-name-table.py; edit resources/names/ja-en.hand.json instead."}
    for section in SECTIONS:
        document[section] = dict(sorted(table[section].items()))
    write_json(args.output, document)
    print("%s: %s" % (args.output, ", ".join("%d %s" % (len(document[s]), s) for s in SECTIONS)))


if __name__ == "__main__":
    main()
