#!/usr/bin/env python3
"""Builds resources/errata/tcgdex.json, the built-in errata file.

From the recorded answers it takes two kinds of correction:
- reverse holo printings: a card of one of the sets listed in REVERSE_SETS
  whose card data records no reverse holo, while the set's TCGCSV group
  sells the card with the same number as "Reverse Holofoil"; for a set where
  no such card exists, the cards whose data does record a reverse holo, and
  for the series in RARITY_SERIES the main set's cards of the rarities that
  were printed in reverse holo;
- names: a Japanese card of an early set (NAME_SETS) whose recorded name is
  its English species name in the wrong letter case ("poliwag"), named by the
  species the English cards of its Pokedex number carry.
Everything else (group pins, added cards, the rules and names known without
the data) is kept by hand in resources/errata/tcgdex.hand.json; a hand-kept
entry wins over a generated one of the same key. In a hand-kept list of
collector numbers "A-B" stands for every number from A to B.

Usage: scripts/make-errata.py [--webdata DIR] [--output FILE]
DIR defaults to ../shared/webdata beside the repository.
"""
import collections
import datetime
import os
import re

from recorded_data import body, load_answers, most_frequent, parse_arguments, read_json, write_json

REVERSE_SETS = ("bw1 bw10 bw11 bw2 bw3 bw4 bw5 bw6 bw7 bw8 bw9 dc1 dp1 dp7 ex11 ex12 ex13 ex14 ex15 ex16 "
                "ex6 g1 hgss1 hgss2 hgss3 pop8 sm1 sm10 sm11 sm115 sm12 sm2 sm3.5 sm4 sm5 sm6 sm7 sm7.5 "
                "sm8 sm9 svp swsh1 xy1 xy10 xy11 xy12 xy2 xy3 xy4 xy5 xy6 xy7 xy8 xy9").split()
# Series whose recorded card data and TCGCSV groups show (next to) no reverse
# holo, though every common, uncommon and rare of the main set (numbered up to
# the set's official count) was printed in one.
RARITY_SERIES = ("sm",)
REVERSE_RARITIES = ("Common", "Uncommon", "Rare")
NAME_SETS = ["E1", "E2", "E3", "E4", "E5", "VS1", "web1"] + ["PCG%d" % n for n in range(1, 10)]


def normalise_number(text):
    text = text.split("/")[0].strip().upper()
    match = re.match(r"^(\d+)(.*)$", text)
    if match:
        text = str(int(match.group(1))) + match.group(2)
    return text


def number_sort_key(number):
    match = re.match(r"^(\D*)(\d*)(.*)$", number)
    return (match.group(1), int(match.group(2)) if match.group(2) else -1, match.group(3))


def expand_numbers(numbers):
    out = []
    for item in numbers:
        match = re.match(r"^(\d+)-(\d+)$", item)
        out.extend(str(n) for n in range(int(match.group(1)), int(match.group(2)) + 1)) if match else out.append(item)
    return out


def reverse_rules(en, thirdparty, tcgcsv, pins):
    rules = {}
    for set_id in REVERSE_SETS:
        detail = en.get("/v2/en/sets/" + set_id)
        group = pins.get("en:" + set_id) or thirdparty["languages"]["en"]["sets"].get(set_id, {}).get("tcgplayer")
        products_key = "/tcgplayer/3/%s/products" % group
        if not detail or products_key not in tcgcsv:
            continue
        subtypes = collections.defaultdict(set)
        for row in body(tcgcsv["/tcgplayer/3/%s/prices" % group])["results"]:
            subtypes[row["productId"]].add(row["subTypeName"])
        sold_reverse = set()
        for product in body(tcgcsv[products_key])["results"]:
            for field in product.get("extendedData", []):
                if field["name"] == "Number" and "Reverse Holofoil" in subtypes[product["productId"]]:
                    sold_reverse.add(normalise_number(field["value"]))
        official = (detail.get("cardCount") or {}).get("official") or 0
        missing, offered, by_rarity = [], [], []
        for card in detail["cards"]:
            data = en["/v2/en/cards/" + card["id"]]
            number = normalise_number(card["localId"])
            if data.get("variants", {}).get("reverse"):
                offered.append(number)
            elif number in sold_reverse:
                missing.append(number)
            if (data.get("rarity") in REVERSE_RARITIES and number.isdigit()
                    and 0 < int(number) <= official):
                by_rarity.append(number)
        # A set whose card data already records its reverse holos still gets a
        # rule listing those cards, so it holds should the flag go.
        if missing:
            numbers = missing
        elif any(set_id.startswith(prefix) for prefix in RARITY_SERIES):
            numbers = offered + by_rarity
        else:
            numbers = offered
        if numbers:
            rules["en:" + set_id] = {"addFinishes": {"reverse": sorted(set(numbers), key=number_sort_key)}}
    return rules


def english_species(en):
    counts = collections.defaultdict(collections.Counter)
    for key, card in en.items():
        if key.startswith("/v2/en/cards/") and isinstance(card, dict) and len(card.get("dexId") or []) == 1:
            counts[card["dexId"][0]][card["name"]] += 1
    return {dex: most_frequent(c) for dex, c in counts.items()}


def latin_name_fixes(ja, en):
    species = english_species(en)
    names = {}
    for set_id in NAME_SETS:
        detail = ja.get("/v2/ja/sets/" + set_id)
        for brief in (detail or {}).get("cards", []):
            card = ja["/v2/ja/cards/" + brief["id"]]
            dex = card.get("dexId") or []
            name = card.get("name", "").strip()
            if len(dex) != 1 or dex[0] not in species or not re.fullmatch(r"[A-Za-z][A-Za-z .'-]*", name):
                continue
            match = re.fullmatch(r"(.*?)(?: (ex))?", name, re.IGNORECASE)
            base, suffix = match.group(1), match.group(2)
            english = species[dex[0]]
            if base.lower() != english.lower():
                continue
            fixed = english + (" ex" if suffix else "")
            if fixed != name:
                names["ja:" + brief["id"]] = fixed
    return names


def main():
    args = parse_arguments(__doc__.splitlines()[0], ("resources", "errata", "tcgdex.hand.json"),
                           ("resources", "errata", "tcgdex.json"))

    en = load_answers(os.path.join(args.webdata, "tcgdex", "en.json.gz"))
    ja = load_answers(os.path.join(args.webdata, "tcgdex", "ja.json.gz"))
    thirdparty = load_answers(os.path.join(args.webdata, "tcgdex", "thirdparty.json.gz"))
    tcgcsv = load_answers(os.path.join(args.webdata, "tcgcsv", "3.json.gz"))
    hand = read_json(args.hand)

    pins = {key: value["groupId"] for key, value in hand.get("groupIds", {}).items()}
    printings = reverse_rules(en, thirdparty, tcgcsv, pins)
    for key, rule in hand.get("printings", {}).items():
        for spec in rule.values():
            for finish, scope in spec.items():
                if isinstance(scope, list):
                    spec[finish] = expand_numbers(scope)
        printings[key] = rule
    names = latin_name_fixes(ja, en)
    names.update(hand.get("names", {}))

    document = {
        "format": "tallowk-errata",
        "version": 1,
        "note": "Generated by scripts/make-errata.py; edit resources/errata/tcgdex.hand.json instead.",
        "generated": datetime.date.today().isoformat(),
        "printings": dict(sorted(printings.items())),
        "cards": hand.get("cards", {}),
        "groupIds": hand.get("groupIds", {}),
        "addCards": hand.get("addCards", {}),
        "names": dict(sorted(names.items())),
    }
    write_json(args.output, document)
    print("%s: %d set rules, %d group pins, %d added cards, %d names"
          % (args.output, len(printings), len(document["groupIds"]),
             sum(len(v) for v in document["addCards"].values()), len(names)))


if __name__ == "__main__":
    main()
