#!/usr/bin/python3
"""Reads an iCalendar file with python3-icalendar and prints what it holds as JSON: the METHOD, and for every
VEVENT and VTODO its UID, SUMMARY, LOCATION, DTSTART, DTEND (events) or DUE (to-dos), ORGANIZER, ATTENDEEs with
their ROLE and PARTSTAT, STATUS and RRULE. Times are given in UTC ("2013-12-23T17:00:00Z"), dates as "2022-12-12".
With --instances N it also lists the first N instances of each recurring series (start and end, UTC) as
python3-dateutil expands its RRULE from DTSTART in the series' own time zone (from the file's VTIMEZONE), less
its EXDATEs, with the events that carry a RECURRENCE-ID put in place of the instances they replace. Exits 1 with
the parser's message when the file does not parse."""

import datetime
import io
import json
import sys

import icalendar
from dateutil import rrule, tz

UTC = datetime.timezone.utc


def zones_of(text):
    """The file's VTIMEZONEs as tzinfo objects, by TZID."""
    if "BEGIN:VTIMEZONE" not in text:
        return {}
    cal = tz.tzical(io.StringIO(text))
    return {key: cal.get(key) for key in cal.keys()}


def moment(prop, zones):
    """A DTSTART-like property as an aware UTC datetime, or a date."""
    value = prop.dt
    if isinstance(value, datetime.datetime):
        if value.tzinfo is None:
            tzid = prop.params.get("TZID")
            value = value.replace(tzinfo=zones[tzid] if tzid else UTC)
        elif "TZID" in prop.params and prop.params["TZID"] in zones:
            value = value.replace(tzinfo=zones[prop.params["TZID"]])
    return value


def local(prop, zones):
    """The value in its own zone (for expanding rules in wall-clock time)."""
    value = prop.dt
    if isinstance(value, datetime.datetime):
        tzid = prop.params.get("TZID")
        if tzid:
            value = value.replace(tzinfo=zones[tzid])
        elif value.tzinfo is None:
            value = value.replace(tzinfo=UTC)
    return value


def text(value):
    if isinstance(value, datetime.datetime):
        return value.astimezone(UTC).strftime("%Y-%m-%dT%H:%M:%SZ")
    if isinstance(value, datetime.date):
        return value.isoformat()
    return str(value)


def person(prop):
    return {"address": str(prop), "cn": str(prop.params.get("CN", "")), "role": str(prop.params.get("ROLE", "")),
            "partstat": str(prop.params.get("PARTSTAT", ""))}


def instances(series, overrides, zones, count):
    start = local(series["DTSTART"], zones)
    end = local(series["DTEND"], zones) if "DTEND" in series else start
    length = end - start
    rule_text = series["RRULE"].to_ical().decode()
    if isinstance(start, datetime.datetime):
        rule = rrule.rrulestr(rule_text, dtstart=start)
    else:
        rule = rrule.rrulestr(rule_text, dtstart=datetime.datetime.combine(start, datetime.time()))
    excluded = set()
    for exdate in series.get("EXDATE", []) if isinstance(series.get("EXDATE"), list) else [series.get("EXDATE")]:
        if exdate is None:
            continue
        for d in exdate.dts:
            value = d.dt
            if isinstance(value, datetime.datetime) and value.tzinfo is None:
                tzid = exdate.params.get("TZID")
                value = value.replace(tzinfo=zones[tzid] if tzid else UTC)
            excluded.add(value if isinstance(value, datetime.datetime) else
                         datetime.datetime.combine(value, datetime.time()))
    replaced = {}
    for o in overrides:
        rid = local(o["RECURRENCE-ID"], zones)
        key = rid if isinstance(rid, datetime.datetime) else datetime.datetime.combine(rid, datetime.time())
        o_start = local(o["DTSTART"], zones)
        o_end = local(o["DTEND"], zones) if "DTEND" in o else o_start
        replaced[key] = (o_start, o_end, str(o.get("SUMMARY", "")))
    out = []
    for occurrence in rule:
        if occurrence in excluded:
            continue
        if occurrence in replaced:
            s, e, summary = replaced[occurrence]
        else:
            s, e, summary = occurrence, occurrence + length, str(series.get("SUMMARY", ""))
        if not isinstance(start, datetime.datetime):
            s, e = s.date() if isinstance(s, datetime.datetime) else s, e.date() if isinstance(e, datetime.datetime) else e
        out.append({"start": text(s), "end": text(e), "summary": summary})
        if len(out) >= count:
            break
    # Changed instances may move before others.
    out.sort(key=lambda i: i["start"])
    return out


def main():
    path = sys.argv[1]
    count = int(sys.argv[3]) if len(sys.argv) > 3 and sys.argv[2] == "--instances" else 0
    raw = open(path, "rb").read()
    try:
        cal = icalendar.Calendar.from_ical(raw)
    except Exception as e:  # the parser's own message
        print(f"does not parse: {e}")
        sys.exit(1)
    text_value = raw.decode("utf-8")
    zones = zones_of(text_value)
    result = {"method": str(cal.get("METHOD", "")), "version": str(cal.get("VERSION", "")), "components": []}
    events = [c for c in cal.walk() if c.name in ("VEVENT", "VTODO")]
    for c in events:
        item = {"kind": c.name, "uid": str(c.get("UID", "")), "summary": str(c.get("SUMMARY", "")),
                "location": str(c.get("LOCATION", "")), "description": str(c.get("DESCRIPTION", "")),
                "status": str(c.get("STATUS", ""))}
        for key in ("DTSTART", "DTEND", "DUE", "RECURRENCE-ID"):
            if key in c:
                item[key.lower()] = text(moment(c[key], zones))
        if "ORGANIZER" in c:
            item["organizer"] = person(c["ORGANIZER"])
        attendees = c.get("ATTENDEE", [])
        if not isinstance(attendees, list):
            attendees = [attendees]
        item["attendees"] = [person(a) for a in attendees]
        if "RRULE" in c:
            item["rrule"] = c["RRULE"].to_ical().decode()
        for key in ("PERCENT-COMPLETE", "PRIORITY"):
            if key in c:
                item[key.lower()] = int(c[key])
        result["components"].append(item)
    if count:
        result["instances"] = []
        for c in events:
            if "RRULE" in c:
                overrides = [o for o in events if "RECURRENCE-ID" in o and str(o.get("UID")) == str(c.get("UID"))]
                result["instances"].append(instances(c, overrides, zones, count))
    print(json.dumps(result, ensure_ascii=False))


if __name__ == "__main__":
    main()
