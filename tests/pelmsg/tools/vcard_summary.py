#!/usr/bin/python3
"""Reads a vCard with python3-vobject and prints what it holds as JSON: FN, the parts of N, ORG, TITLE, the
e-mail addresses, the phone numbers with their types, the postal addresses (parts and types), BDAY, ANNIVERSARY,
the URLs, NOTE and the media type and size of a PHOTO given as a data: URI. Exits 1 with the parser's message when
the file does not parse."""

import base64
import json
import sys

import vobject


def values(card, name):
    return card.contents.get(name, [])


def raw_value(text, name):
    """The value of the first property of that name, read from the unfolded text (vobject 0.9.6 cuts data: URIs
    at their comma)."""
    unfolded = text.replace("\r\n ", "").replace("\r\n\t", "")
    for line in unfolded.split("\r\n"):
        key, _, value = line.partition(":")
        if key.split(";")[0].upper() == name:
            return value
    return None


def main():
    text = open(sys.argv[1], encoding="utf-8", newline="").read()
    try:
        card = vobject.readOne(text)
    except Exception as e:  # the parser's own message
        print(f"does not parse: {e}")
        sys.exit(1)
    result = {"version": card.version.value, "fn": card.fn.value}
    if "n" in card.contents:
        n = card.n.value
        result["n"] = [n.family, n.given, n.additional, n.prefix, n.suffix]
    for key in ("title", "bday", "anniversary", "note", "nickname", "gender"):
        if key in card.contents:
            result[key] = card.contents[key][0].value
    if "org" in card.contents:
        result["org"] = card.org.value
    result["emails"] = [e.value for e in values(card, "email")]
    result["tels"] = [{"number": t.value, "types": t.params.get("TYPE", [])} for t in values(card, "tel")]
    result["adrs"] = []
    for a in values(card, "adr"):
        v = a.value
        result["adrs"].append({"types": a.params.get("TYPE", []), "box": v.box, "street": v.street, "city": v.city,
                               "region": v.region, "code": v.code, "country": v.country})
    result["urls"] = [u.value for u in values(card, "url")]
    if values(card, "photo"):
        uri = raw_value(text, "PHOTO")
        head, _, data = uri.partition(",")
        result["photo"] = {"type": head, "size": len(base64.b64decode(data))}
    print(json.dumps(result, ensure_ascii=False))


if __name__ == "__main__":
    main()
