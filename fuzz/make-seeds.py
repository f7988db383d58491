#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz harnesses into a folder, one sub-folder
per harness, from the recorded service answers in tests/standin/data and the
data files in resources/. Usage: make-seeds.py OUTPUT_FOLDER"""

import gzip
import json
import os
import random
import struct
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DATA = os.path.join(ROOT, "tests", "standin", "data")


def cbor(value):
    """The CBOR bytes of a value built from dicts, lists, text, ints, floats,
    booleans and None."""
    def head(major, n):
        if n < 24:
            return bytes([major << 5 | n])
        for extra, fmt in ((24, ">B"), (25, ">H"), (26, ">I"), (27, ">Q")):
            if n < 1 << (8 * struct.calcsize(fmt)):
                return bytes([major << 5 | extra]) + struct.pack(fmt, n)
        raise ValueError(n)

    if value is None:
        return b"\xf6"
    if value is True:
        return b"\xf5"
    if value is False:
        return b"\xf4"
    if isinstance(value, int):
        return head(0, value) if value >= 0 else head(1, -1 - value)
    if isinstance(value, float):
        return b"\xfb" + struct.pack(">d", value)
    if isinstance(value, str):
        data = value.encode("utf-8")
        return head(3, len(data)) + data
    if isinstance(value, list):
        return head(4, len(value)) + b"".join(cbor(v) for v in value)
    if isinstance(value, dict):
        return head(5, len(value)) + b"".join(cbor(k) + cbor(v) for k, v in value.items())
    raise TypeError(type(value))


def compact(value):
    return json.dumps(value, ensure_ascii=False, separators=(",", ":")).encode("utf-8")


def load(path):
    with gzip.open(os.path.join(DATA, path), "rt", encoding="utf-8") as f:
        return json.load(f)


def body(answers, key):
    value = answers[key]
    return value.encode("utf-8") if isinstance(value, str) else compact(value)


def parsed(answers, key):
    value = answers[key]
    return json.loads(value) if isinstance(value, str) else value


class Seeds:
    def __init__(self, folder):
        self.folder = folder

    def write(self, harness, name, data):
        path = os.path.join(self.folder, harness)
        os.makedirs(path, exist_ok=True)
        with open(os.path.join(path, name), "wb") as f:
            f.write(data)


def smallest(answers, prefix, suffix="", count=4):
    keys = [k for k in answers if k.startswith(prefix) and k.endswith(suffix)]
    keys.sort(key=lambda k: (len(body(answers, k)), k))
    return keys[:count]


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    seeds = Seeds(sys.argv[1])
    rng = random.Random(20261207)
    tcgdex = {lang: load(f"tcgdex/{lang}.json.gz") for lang in ("en", "ja")}
    tcgcsv = {cat: load(f"tcgcsv/{cat}.json.gz") for cat in ("3", "85")}

    cards_of = {}
    for lang, answers in tcgdex.items():
        cards_of[lang] = parsed(answers, f"/v2/{lang}/cards")

    # The card database's answers: lists and details of every kind.
    for lang, answers in tcgdex.items():
        picks = [f"/v2/{lang}/sets?sort:field=releaseDate&sort:order=ASC", f"/v2/{lang}/series",
                 f"/v2/{lang}/rarities"]
        picks += smallest(answers, f"/v2/{lang}/sets/", count=3)
        picks += smallest(answers, f"/v2/{lang}/series/", count=2)
        picks += smallest(answers, f"/v2/{lang}/cards?dexId=", count=3)
        card_keys = sorted(k for k in answers if k.startswith(f"/v2/{lang}/cards/"))
        picks += rng.sample(card_keys, 8)
        for i, key in enumerate(picks):
            seeds.write("card_records", f"{lang}-{i:02}.json", body(answers, key))

    # TCGCSV's answers: group lists, products and prices.
    for cat, answers in tcgcsv.items():
        picks = [f"/tcgplayer/{cat}/groups"]
        picks += smallest(answers, f"/tcgplayer/{cat}/", "/products", count=3)
        picks += smallest(answers, f"/tcgplayer/{cat}/", "/prices", count=3)
        for i, key in enumerate(picks):
            seeds.write("tcgcsv_reply", f"{cat}-{i:02}.json", body(answers, key))
    seeds.write("tcgcsv_reply", "failure.json", b'{"success":false,"errors":["Category 3 is resting"],"results":[]}')

    # Exchange rates, as the service dates and writes them.
    seeds.write("fx_reply", "latest.json",
                b'{"amount":1.0,"base":"USD","date":"2026-08-21","rates":{"AUD":1.5005,"CAD":1.3562,'
                b'"CHF":0.8809,"EUR":0.92115,"GBP":0.78408,"JPY":149.15}}')
    seeds.write("fx_reply", "eur-only.json", b'{"amount":1.0,"base":"USD","date":"2026-08-21","rates":{"EUR":0.9}}')
    seeds.write("fx_reply", "undated.json", b'{"amount":1.0,"base":"USD","rates":{"EUR":0.9}}')

    # Card numbers, alone and in pairs, and names for the search keys.
    numbers = set()
    for lang in ("en", "ja"):
        for card in rng.sample(cards_of[lang], 150):
            numbers.add(card.get("localId", ""))
    for cat, answers in tcgcsv.items():
        for key in smallest(answers, f"/tcgplayer/{cat}/", "/products", count=6):
            for product in parsed(answers, key).get("results", []):
                for item in product.get("extendedData", []):
                    if item.get("name") == "Number":
                        numbers.add(item.get("value", ""))
    numbers = sorted(numbers)
    for i, number in enumerate(numbers):
        seeds.write("card_numbers", f"n{i:03}", number.encode("utf-8"))
    for i in range(40):
        pair = rng.sample(numbers, 2)
        seeds.write("card_numbers", f"pair{i:02}", "\t".join(pair).encode("utf-8"))
    for lang in ("en", "ja"):
        for i, card in enumerate(rng.sample(cards_of[lang], 120)):
            seeds.write("search_keys", f"{lang}{i:03}", card.get("name", "").encode("utf-8"))
    seeds.write("search_keys", "accents", "Flabébé Pokémon Ñ ß ǅ".encode("utf-8"))

    # The data files beside the executable.
    for name in ("tcgdex.json", "tcgdex.hand.json"):
        with open(os.path.join(ROOT, "resources", "errata", name), "rb") as f:
            seeds.write("errata", name, f.read())
    for name in ("ja-en.json", "ja-en.hand.json"):
        with open(os.path.join(ROOT, "resources", "names", name), "rb") as f:
            data = f.read()
        seeds.write("name_table", name, data)
        table = json.loads(data)
        trimmed = {k: (dict(list(v.items())[:20]) if isinstance(v, dict) else v) for k, v in table.items()}
        seeds.write("name_table", "small-" + name, compact(trimmed))

    # Catalog caches and Pokedex caches as the program writes them.
    for lang, answers in tcgdex.items():
        briefs = parsed(answers, f"/v2/{lang}/sets?sort:field=releaseDate&sort:order=ASC")[:4]
        series = parsed(answers, f"/v2/{lang}/series")[:3]
        rarities = parsed(answers, f"/v2/{lang}/rarities")
        set_ids = [s["id"] for s in briefs]
        flat_series = []
        for serie in series:
            flat_series += [serie.get("id", ""), serie.get("name", ""), serie.get("logo", "")]
        flat_sets = []
        for i, s in enumerate(briefs):
            count = s.get("cardCount", {})
            flat_sets += [s["id"], s.get("name", ""), i % max(1, len(series)), s.get("logo", ""),
                          s.get("symbol", ""), "2023-09-22" if i % 2 else "", i, count.get("official", 0),
                          count.get("total", 0)]
        flat_cards = []
        for card in cards_of[lang]:
            set_id = card["id"][: -len(card.get("localId", "")) - 1] if card.get("localId") else ""
            if set_id in set_ids and len(flat_cards) < 6 * 40:
                flat_cards += [set_ids.index(set_id), card.get("localId", ""), card.get("name", ""),
                               card.get("image", ""), len(flat_cards) % len(rarities) if rarities else -1,
                               len(flat_cards) % 16]
        for variants in (True, False):
            cache = {"format": "tallowk-catalog", "version": 3, "lang": lang, "savedAt": "2026-08-21T12:00:00Z",
                     "series": flat_series, "sets": flat_sets, "cards": flat_cards, "rarities": rarities,
                     "haveVariants": variants}
            seeds.write("catalog_cache", f"{lang}-{'variants' if variants else 'plain'}.cbor", cbor(cache))

        entries = []
        for key in smallest(answers, f"/v2/{lang}/cards?dexId=", count=5):
            number = int(key.rsplit(":", 1)[1])
            entries += [number, [c.get("id", "") for c in parsed(answers, key)]]
        dex = {"format": "tallowk-dex", "version": 1, "lang": lang, "savedAt": "2026-08-21T12:00:00Z",
               "entries": entries}
        seeds.write("dex_cache", f"{lang}.cbor", cbor(dex))

    # Collection files: the current format and both legacy versions.
    picked = rng.sample(cards_of["en"], 6) + rng.sample(cards_of["ja"], 3)
    entries = []
    for i, card in enumerate(picked):
        lang = "ja" if i >= 6 else "en"
        set_id = card["id"][: -len(card.get("localId", "")) - 1]
        entries.append({"cardId": card["id"], "condition": ["NM", "LP", "MP", "HP", "DMG"][i % 5], "count": 1 + i,
                        "customPriceEur": 12.5 if i == 2 else 0, "dexId": 25 if i == 1 else 0,
                        "edition": "firstEdition" if i == 3 else "unlimited",
                        "gradeCompany": "PSA" if i == 4 else "none", "gradeNote": "10" if i == 4 else "",
                        "image": card.get("image", ""), "lang": lang, "localId": card.get("localId", ""),
                        "name": card.get("name", ""), "notes": "from a trade" if i == 5 else "",
                        "priceUpdated": "2026-08-21T12:00:00.250Z", "printLabel": i % 2 == 0,
                        "rarity": "Rare", "setId": set_id, "unitValueEur": 1.25 * i, "unitValueUsd": 1.5 * i,
                        "variant": ["normal", "holo", "reverse"][i % 3]})
    sets = {f"{e['lang']}:{e['setId']}": {"id": e["setId"], "lang": e["lang"], "name": e["setId"].upper(),
                                          "officialCardCount": 100, "order": 3, "releaseDate": "2023-09-22",
                                          "serie": "sv", "totalCardCount": 120} for e in entries}
    history = [{"cards": 10, "date": "2026-08-03", "sets": {k: [12.5, 3] for k in list(sets)[:2]}, "totalEur": 40.0},
               {"cards": 12, "date": "2026-08-10", "totalEur": 42.0}]
    binders = [{"added": [entries[0]["cardId"]], "columns": 3, "hiddenRarities": ["Common"], "id": "b1",
                "lang": "en", "name": "Favourites", "order": [entries[1]["cardId"]], "removed": [], "rows": 3,
                "rules": [{"dexIds": [25, 133], "name": "Pika", "rarities": ["Rare"], "serieId": "sv",
                           "setId": entries[0]["setId"]}], "showMissing": True, "topValue": 0},
               {"columns": 4, "id": "b2", "lang": "ja", "name": "Top", "rows": 2, "rules": [],
                "showMissing": False, "topValue": 360}]
    label = {"border": {"color": "#1f4ea8", "enabled": True, "widthIn": 0.01},
             "fields": {"cardName": True, "condition": True, "number": True, "rarity": False, "set": True,
                        "year": True},
             "sheet": {"columns": 4, "labelHeightIn": 0.5, "labelWidthIn": 1.75, "marginLeftIn": 0.3,
                       "marginTopIn": 0.5, "pageSize": "letter", "pitchXIn": 2.05, "pitchYIn": 0.5, "rows": 20},
             "template": "custom", "textPointSize": 8}
    current = {"binders": binders, "entries": entries, "format": "tallowk", "history": history,
               "labelStyle": label, "savedAt": "2026-08-21T12:00:00Z", "sets": sets, "version": 5}
    seeds.write("collection_file", "current.tmk", json.dumps(current, ensure_ascii=False, indent=1).encode())
    seeds.write("collection_file", "current-compact.tmk", compact(current))
    legacy_entries = []
    for i, e in enumerate(entries):
        old = {k: v for k, v in e.items() if k not in ("edition", "printLabel")}
        old["variant"] = ["firstEdition", "shadowless", "holo", "normal"][i % 4]
        legacy_entries.append(old)
    for version in (1, 2):
        legacy = {"format": "mossel", "version": version, "entries": legacy_entries,
                  "sets": {k: {"name": v["name"]} for k, v in sets.items()},
                  "history": [{"month": "2026-07", "totalEur": 30.5, "cards": 9},
                              {"month": "2026-08", "totalEur": 40.0, "sets": {"en:sv03": [12.5, 3]}}]}
        if version == 2:
            legacy["binders"] = binders[:1]
        seeds.write("collection_file", f"legacy-v{version}.msl", compact(legacy))
    # The JSON reader against QJsonDocument: the file, and text where the two
    # parsers part ways unless the reader takes care.
    seeds.write("collection_json", "current.tmk", json.dumps(current, ensure_ascii=False, indent=1).encode())
    for i, text in enumerate([b'[1,2.5,-0.0,0e-5,1e-400,"\\ud800",{"a":1,"a":[true,false,null]}]',
                              b'\xef\xbb\xbf{"k\\u0041":"\xef\xbb\xbfv","n":18446744073709551616,"t":"\t"}',
                              b'{"\xef\xbb\xbfformat":"tallowk","format":"mossel","x":[1.,.5,"\\\'"]}']):
        seeds.write("collection_json", f"edge-{i}.json", text)


if __name__ == "__main__":
    main()
