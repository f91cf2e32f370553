#!/usr/bin/python3
"""Reads a mail file with Python's standard email package and prints what a mail reader sees in it as JSON:
the decoded header fields, the MIME tree with each part's type, parameters and transfer encoding, the text of
text parts decoded with their declared charset, and the size and SHA-256 of every other part's decoded bytes.
Attached messages (message/rfc822) are summarised the same way, nested. Used by the C++ tests as an independent
reader of the .eml files the MIME writer makes."""

import email
import email.policy
import hashlib
import json
import sys


def header_summary(message):
    out = {}
    for name in ("From", "To", "Cc", "Bcc", "Subject", "Date", "Message-ID", "X-Priority", "X-Mailer"):
        value = message.get(name)
        if value is None:
            continue
        entry = {"text": str(value)}
        addresses = getattr(value, "addresses", None)
        if addresses is not None:
            entry["addresses"] = [[a.display_name, a.addr_spec] for a in addresses]
        entry["defects"] = [type(d).__name__ for d in getattr(value, "defects", ())]
        out[name.lower()] = entry
    return out


def part_summary(part):
    out = {
        "type": part.get_content_type(),
        "cte": (part.get("Content-Transfer-Encoding") or "").strip().lower(),
        "defects": [type(d).__name__ for d in part.defects],
    }
    filename = part.get_filename()
    if filename is not None:
        out["filename"] = filename
    name = part.get_param("name")
    if name is not None:
        out["name"] = email.utils.collapse_rfc2231_value(name) if isinstance(name, tuple) else str(name)
    if part.get_content_charset() is not None:
        out["charset"] = part.get_content_charset()
    if part.get("Content-ID") is not None:
        out["content_id"] = str(part.get("Content-ID"))
    if part.get_content_type() == "message/rfc822":
        inner = part.get_payload()
        out["message"] = message_summary(inner[0] if isinstance(inner, list) else inner)
    elif part.is_multipart():
        out["boundary"] = part.get_boundary()
        out["parts"] = [part_summary(p) for p in part.get_payload()]
    else:
        data = part.get_payload(decode=True) or b""
        out["size"] = len(data)
        out["sha256"] = hashlib.sha256(data).hexdigest()
        if part.get_content_maintype() == "text" and filename is None:
            try:
                out["text"] = data.decode(part.get_content_charset() or "us-ascii")
            except (LookupError, UnicodeDecodeError) as error:
                out["text_error"] = str(error)
    return out


def message_summary(message):
    summary = {"headers": header_summary(message)}
    summary.update(part_summary(message))
    # What a mail program offers as the message's attachments (the parts that are not its body).
    # A related part around the body holds the images the body shows: they are attachments too.
    if message.is_multipart():
        found = list(message.iter_attachments())
        for part in message.iter_parts():
            if part.get_content_type() == "multipart/related":
                found += list(part.iter_attachments())
        # A body of a type the package does not take for a body (text/rtf) is listed too: a text part without a
        # file name is a body, not an attachment.
        found = [a for a in found if a.get_filename() is not None or a.get_content_maintype() != "text"]
        summary["attachments"] = [{"type": a.get_content_type(), "filename": a.get_filename() or ""} for a in found]
    return summary


def main():
    # From bytes, not from the file object: reading a file object turns CR LF into LF, and the tests compare
    # decoded texts byte for byte. Several files give one line each.
    for path in sys.argv[1:]:
        with open(path, "rb") as f:
            message = email.message_from_bytes(f.read(), policy=email.policy.default)
        json.dump(message_summary(message), sys.stdout, ensure_ascii=True)
        sys.stdout.write("\n")


if __name__ == "__main__":
    main()
