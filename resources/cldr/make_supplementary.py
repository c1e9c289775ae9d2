#!/usr/bin/env python3
"""Builds supplementary.json: names of 13 codes that CLDR's language lists lack, in the twelve
display languages. "sr-Latn" is composed from CLDR's own language and script names with the
display language's locale pattern; the other codes have no CLDR names and keep their English
ones. Usage: make_supplementary.py <unpacked cldr-localenames-full-42.0.0>/package"""
import json
import sys

LANGUAGES = ["cs", "de", "en", "es", "fr", "it", "ja", "pl", "pt", "ru", "sv", "zh-Hans"]
ENGLISH = {
    "sr-Latn": "Serbian (Latin)", "bgt-SB": "Bugotu", "cro-US": "Crow", "esx-CA": "Eskimo",
    "hni-CN": "Hani", "wbm-MM": "Kawa", "emk-GN": "Malinke", "myn-GT": "Mayan",
    "nah-MX": "Nahuatl", "qti-001": "Pirez", "smi-NO": "Sami", "wen-DE": "Sorbian (Wend)",
    "tug-TD": "Tun",
}


def names_for(root, lang):
    def part(file, key):
        with open(f"{root}/main/{lang}/{file}.json", encoding="utf-8") as f:
            return json.load(f)["main"][lang]["localeDisplayNames"][key]

    languages = part("languages", "languages")
    scripts = part("scripts", "scripts")
    pattern = part("localeDisplayNames", "localeDisplayPattern")["localePattern"]
    names = dict(ENGLISH)
    for code in ENGLISH:
        if code in languages:
            names[code] = languages[code]
    names["sr-Latn"] = pattern.replace("{0}", languages["sr"]).replace("{1}", scripts["Latn"])
    return names


def main():
    root = sys.argv[1]
    document = {"main": {lang: {"localeDisplayNames": {"languages": names_for(root, lang)}}
                         for lang in LANGUAGES}}
    json.dump(document, sys.stdout, ensure_ascii=False, indent=2)
    sys.stdout.write("\n")


if __name__ == "__main__":
    main()
