#!/usr/bin/python3
"""Reads mail files with Python's email package and prints, one JSON line per file, what makes one an invitation:
From, To, Date and Content-Class, the media types of its leaves, and for each text/calendar part the method
parameter, the METHOD and the UIDs of its calendar text (read with python3-icalendar)."""

import email
import email.policy
import json
import sys

import icalendar


def summary(path):
    with open(path, "rb") as f:
        message = email.message_from_binary_file(f, policy=email.policy.default)
    out = {"from": str(message.get("From", "")), "to": str(message.get("To", "")),
           "date": str(message.get("Date", "")), "content_class": str(message.get("Content-Class", "")),
           "leaves": [], "calendars": [], "defects": [str(d) for d in message.defects]}
    for part in message.walk():
        if part.is_multipart():
            continue
        out["leaves"].append(part.get_content_type())
        if part.get_content_type() == "text/calendar":
            text = part.get_content()
            cal = icalendar.Calendar.from_ical(text)
            out["calendars"].append({
                "method_parameter": str(part.get_param("method", "")),
                "charset": str(part.get_content_charset("")),
                "method": str(cal.get("METHOD", "")),
                "uids": [str(c.get("UID")) for c in cal.walk() if c.name in ("VEVENT", "VTODO")],
                "kinds": [c.name for c in cal.walk() if c.name in ("VEVENT", "VTODO")],
            })
    return out


def main():
    for path in sys.argv[1:]:
        print(json.dumps(summary(path), ensure_ascii=False))


if __name__ == "__main__":
    main()
