#!/usr/bin/python3
"""Lists compound files with olefile as JSON: for each file named on the command line, every storage and stream
by path ("a/b/c"), with the stream's size and SHA-256; or the error olefile raised."""

import hashlib
import json
import sys

import olefile


def listing(path):
    ole = olefile.OleFileIO(path)
    try:
        out = {}
        for entry in ole.listdir(streams=True, storages=True):
            name = "/".join(entry)
            if ole.get_type(entry) == olefile.STGTY_STORAGE:
                out[name] = {"storage": True}
            else:
                data = ole.openstream(entry).read()
                out[name] = {"storage": False, "size": len(data), "sha256": hashlib.sha256(data).hexdigest()}
        return out
    finally:
        ole.close()


def main(paths):
    result = {}
    for path in paths:
        try:
            result[path] = {"elements": listing(path)}
        except Exception as error:  # olefile raises many kinds; each is a finding for the caller
            result[path] = {"error": "%s: %s" % (type(error).__name__, error)}
    json.dump(result, sys.stdout)


if __name__ == "__main__":
    main(sys.argv[1:])
