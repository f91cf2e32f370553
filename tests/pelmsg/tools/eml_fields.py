#!/usr/bin/python3
"""Prints what an .eml holds as JSON: the Subject, From, To and Cc headers (decoded), the plain body, and the
message's own attachments (those of attached messages left out) with file name, size and SHA-256; an attached
message is listed with its subject instead of bytes, and an attachment that is a compound file (an OLE object)
also with the SHA-256 of each of its streams."""

import email
import email.policy
import hashlib
import json
import io
import sys

try:
    import olefile
except ImportError:
    olefile = None


def own_parts(message):
    """The leaf parts of the message itself; an attached message is one part, not looked into."""
    for part in message.iter_parts():
        if part.get_content_type() == "message/rfc822":
            yield part
        elif part.is_multipart():
            yield from own_parts(part)
        else:
            yield part


def describe(part):
    if part.get_content_type() == "message/rfc822":
        inner = part.get_payload()[0]
        return {"name": part.get_filename() or "", "message": True, "subject": str(inner["Subject"] or "")}
    data = part.get_payload(decode=True) or b""
    described = {"name": part.get_filename() or "", "message": False, "size": len(data),
                 "sha256": hashlib.sha256(data).hexdigest()}
    if olefile and data[:8] == b"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1":
        ole = olefile.OleFileIO(io.BytesIO(data))
        described["ole"] = {"/".join(e): "storage" if ole.get_type(e) == olefile.STGTY_STORAGE
                            else hashlib.sha256(ole.openstream(e).read()).hexdigest()
                            for e in ole.listdir(streams=True, storages=True)}
    return described


def main(path):
    with open(path, "rb") as f:
        message = email.message_from_binary_file(f, policy=email.policy.default)
    result = {header: str(message[header] or "") for header in ("Subject", "From", "To", "Cc")}
    parts = list(own_parts(message)) if message.is_multipart() else [message]
    result["plain"] = next((p.get_content() for p in parts if p.get_content_type() == "text/plain"
                            and p.get_content_disposition() != "attachment" and not p.get_filename()), "")
    result["attachments"] = [describe(p) for p in parts
                             if p.get_content_type() == "message/rfc822"
                             or p.get_content_disposition() == "attachment" or p.get_filename()]
    json.dump(result, sys.stdout)


if __name__ == "__main__":
    main(sys.argv[1])
