#!/usr/bin/python3
"""Prints every leaf part of a mail, at any depth (into attached messages too), one per line as tab-separated
fields: the content type, the file name (or "-"), the SHA-256 of the decoded payload, and "tnef" when the payload
starts with the TNEF signature (else "-"). The first line says "defects N": how many defects Python's email
package found while parsing."""

import email
import email.policy
import hashlib
import sys


def leaves(part):
    if part.is_multipart():
        for child in part.get_payload():
            yield from leaves(child)
    else:
        yield part


def main():
    with open(sys.argv[1], "rb") as f:
        message = email.message_from_binary_file(f, policy=email.policy.compat32)
    defects = 0
    lines = []
    for part in leaves(message):
        defects += len(part.defects)
        payload = part.get_payload(decode=True) or b""
        name = part.get_filename() or "-"
        tnef = "tnef" if payload[:4] == b"\x78\x9f\x3e\x22" else "-"
        lines.append("\t".join([part.get_content_type(), name.replace("\t", " "), hashlib.sha256(payload).hexdigest(), tnef]))
    print("defects", defects + len(message.defects))
    for line in lines:
        print(line)


if __name__ == "__main__":
    main()
