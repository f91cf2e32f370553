#!/usr/bin/python3
"""The mail filter inside a real mail system: a private Exim (its own configuration, spool, log and Maildir in a
temporary folder; no daemon, nothing of the machine's own mail setup) delivers a mail built around every corpus
TNEF file through `transport_filter = quorra /FILTER`. Each delivered mail must parse with Python's email package;
an unwrapped one holds no TNEF part, carries every file the `tnef` tool extracts byte for byte, a meeting item's
text/calendar part with the right method (read by python3-icalendar), and every part and header line that was
not TNEF as it was sent; a mail that could not be unwrapped arrives exactly as it was sent.

usage: exim_filter_test.py QUORRA CORPUS_TNEF_FOLDER
Exit status 77 (skipped) when exim4, tnef, python3-icalendar or the corpus is missing."""

import base64
import email
import email.policy
import hashlib
import os
import pwd
import re
import shutil
import struct
import subprocess
import sys
import tempfile

SKIP = 77
TNEF_SIGNATURE = b"\x78\x9f\x3e\x22"
DOMAIN = "tessaly.test"


def skip(reason):
    print("SKIPPED:", reason)
    sys.exit(SKIP)


def find_exim():
    for name in ("exim4", "exim"):
        path = shutil.which(name) or next((p for p in ("/usr/sbin/" + name,) if os.access(p, os.X_OK)), None)
        if path:
            return path
    return None


def message_class(tnef):
    """The TNEF's attMessageClass, read from its attribute stream (level, id, length, data, checksum)."""
    pos = 6
    while pos + 9 <= len(tnef):
        attribute, length = struct.unpack_from("<II", tnef, pos + 1)
        data = tnef[pos + 9:pos + 9 + length]
        if attribute == 0x00078008:
            return data.split(b"\0")[0].decode("latin-1")
        pos += 9 + length + 2
    return ""


def expected_method(cls):
    """The iTIP method a meeting item of that message class goes out with (the modern names and the legacy ones
    TNEF's attMessageClass also uses)."""
    legacy = {"IPM.Microsoft Schedule.MtgReq": "REQUEST", "IPM.Microsoft Schedule.MtgCncl": "CANCEL",
              "IPM.Microsoft Schedule.MtgRespP": "REPLY", "IPM.Microsoft Schedule.MtgRespN": "REPLY",
              "IPM.Microsoft Schedule.MtgRespA": "REPLY"}
    if cls in legacy:
        return legacy[cls]
    if cls.startswith("IPM.Schedule.Meeting.Request"):
        return "REQUEST"
    if cls.startswith("IPM.Schedule.Meeting.Canceled"):
        return "CANCEL"
    if cls.startswith("IPM.Schedule.Meeting.Resp."):
        return "REPLY"
    if cls.startswith("IPM.TaskRequest") and cls.count(".") == 1:
        return "REQUEST"
    return None


def wrap76(data):
    text = base64.b64encode(data).decode("ascii")
    return "\n".join(text[i:i + 76] for i in range(0, len(text), 76)) + "\n"


def build_mail(index, name, tnef):
    """A mail around the TNEF in one of three shapes; returns the mail and the byte blocks that must arrive as
    they were (header lines, the parts that are not TNEF, their boundaries)."""
    header = (f"From: Ann Sender <ann@{DOMAIN}>\nTo: Bob <bob@{DOMAIN}>\nSubject: corpus {index}: {name}\n"
              f"Date: Wed, 09 Dec 2026 06:00:00 +0000\nMessage-ID: <corpus-{index}@{DOMAIN}>\nMIME-Version: 1.0\n")
    text = ("Content-Type: text/plain; charset=utf-8\nContent-Transfer-Encoding: quoted-printable\n\n"
            f"The attached winmail.dat is {name}.=0A=C3=BCber=\n alles\n")
    picture = bytes(range(256)) * 3
    other = ("Content-Type: application/octet-stream; name=\"table.bin\"\n"
             "Content-Disposition: attachment; filename=\"table.bin\"\nContent-Transfer-Encoding: base64\n\n"
             + wrap76(picture))
    label = "application/octet-stream" if index % 3 == 2 else "application/ms-tnef"
    winmail = (f"Content-Type: {label}; name=\"winmail.dat\"\n"
               "Content-Disposition: attachment; filename=\"winmail.dat\"\nContent-Transfer-Encoding: base64\n\n"
               + wrap76(tnef))
    outer = f"outer-{index}"
    if index % 3 == 1:
        # The TNEF two levels down: in a forwarded message inside the mail.
        inner = f"inner-{index}"
        forwarded = (f"From: Carl <carl@{DOMAIN}>\nSubject: forwarded\nMIME-Version: 1.0\n"
                     f"Content-Type: multipart/mixed; boundary=\"{inner}\"\n\n"
                     f"--{inner}\n{text}--{inner}\n{winmail}--{inner}--\n")
        rfc822 = "Content-Type: message/rfc822\n\n" + forwarded
        body = f"preamble\n--{outer}\n{text}--{outer}\n{rfc822}--{outer}\n{other}--{outer}--\nepilogue\n"
        keep = [text, other, f"From: Carl <carl@{DOMAIN}>\n", f"--{inner}--\n"]
    else:
        body = f"preamble\n--{outer}\n{text}--{outer}\n{winmail}--{outer}\n{other}--{outer}--\nepilogue\n"
        keep = [text, other]
    mail = header + f"Content-Type: multipart/mixed; boundary=\"{outer}\"\n\n" + body
    keep += [line + "\n" for line in header.splitlines()] + [f"--{outer}--\nepilogue\n", f"\npreamble\n--{outer}\n"]
    return mail.encode("utf-8"), [k.encode("utf-8") for k in keep], picture


def leaves(part):
    """The leaf parts of a mail at any depth (attached messages too), in order."""
    return [p for p in part.walk() if not p.is_multipart()]


def tnef_files(tnef_path, folder):
    """What the tnef tool extracts: for each file, the SHA-256 of its bytes and of its bytes after the first 16 (an
    object attachment, which tnef writes with the 16-byte interface identifier its value starts with)."""
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    subprocess.run(["tnef", "--number-backups", "-C", folder, "-f", tnef_path], stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    files = {}
    for name in os.listdir(folder):
        with open(os.path.join(folder, name), "rb") as f:
            data = f.read()
        files[name] = (hashlib.sha256(data).hexdigest(), hashlib.sha256(data[16:]).hexdigest())
    return files


class Exim:
    """A private Exim: its configuration, spool, log and Maildir in one temporary folder.

    Exim reads a configuration given with -C as trusted only when root gives it, and then wants it owned by root
    and writable by nobody else; given by another user it drops its privileges and runs as that user. It never
    delivers as root: as root the deliveries (and so the filter) run as `nobody`, who then owns the folder."""

    def __init__(self, exim, quorra, folder):
        self.exim = exim
        self.folder = folder
        self.maildir = os.path.join(folder, "Maildir")
        for sub in ("spool", "log"):
            os.makedirs(os.path.join(folder, sub))
        if os.getuid() == 0:
            user = pwd.getpwnam("nobody")
            # The filter runs as nobody: a copy of the program where nobody can reach it.
            program = os.path.join(folder, "bin", "quorra")
            os.makedirs(os.path.dirname(program))
            shutil.copy2(quorra, program)
        else:
            user = pwd.getpwuid(os.getuid())
            program = quorra
        self.config = os.path.join(folder, "exim.conf")
        with open(self.config, "w") as f:
            f.write(f"""primary_hostname = {DOMAIN}
qualify_domain = {DOMAIN}
spool_directory = {folder}/spool
log_file_path = {folder}/log/%slog
exim_user = {user.pw_uid}
exim_group = {user.pw_gid}
keep_environment =
received_header_text =
message_size_limit = 0
begin routers
local:
  driver = accept
  domains = {DOMAIN}
  transport = maildir
begin transports
maildir:
  driver = appendfile
  directory = {self.maildir}
  maildir_format
  create_directory
  user = {user.pw_uid}
  group = {user.pw_gid}
  transport_filter = {program} /FILTER
""")
        os.chmod(self.config, 0o644)
        if os.getuid() == 0:
            for root, dirs, files in os.walk(folder):
                for name in dirs + files:
                    if os.path.join(root, name) != self.config:
                        os.chown(os.path.join(root, name), user.pw_uid, user.pw_gid)
            os.chown(folder, user.pw_uid, user.pw_gid)

    def deliver(self, mail):
        """Delivers one mail to bob and returns the bytes that arrived in the Maildir."""
        before = set(self.delivered())
        run = subprocess.run([self.exim, "-C", self.config, "-odi", "-oi", "-f", f"ann@{DOMAIN}", f"bob@{DOMAIN}"],
                             input=mail, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
        if run.returncode != 0:
            raise RuntimeError(f"exim: status {run.returncode}: {run.stderr.decode(errors='replace')}{self.log()}")
        new = [p for p in self.delivered() if p not in before]
        if len(new) != 1:
            raise RuntimeError(f"exim delivered {len(new)} mails{self.log()}")
        with open(new[0], "rb") as f:
            return f.read()

    def delivered(self):
        out = []
        for sub in ("new", "cur"):
            folder = os.path.join(self.maildir, sub)
            if os.path.isdir(folder):
                out += [os.path.join(folder, n) for n in os.listdir(folder)]
        return out

    def log(self):
        text = ""
        for name in ("mainlog", "paniclog", "rejectlog"):
            path = os.path.join(self.folder, "log", name)
            if os.path.exists(path):
                text += f"\n{name}:\n" + open(path, errors="replace").read()[-3000:]
        return text


def check_delivered(name, tnef_path, tnef, sent, keep, picture, arrived, scratch):
    """Faults of one delivered mail; the second value says whether it was unwrapped."""
    faults = []
    message = email.message_from_bytes(arrived, policy=email.policy.compat32)
    parts = list(leaves(message))
    defects = sum(len(p.defects) for p in parts) + len(message.defects)
    if defects:
        faults.append(f"{defects} MIME defects")
    left = [p for p in parts if "tnef" in p.get_content_type()
            or (p.get_payload(decode=True) or b"")[:4] == TNEF_SIGNATURE]
    if b"\nX-Tessaly-Unwrapped: " not in arrived:
        # Not unwrapped: the mail must have arrived exactly as it was sent.
        if arrived != sent:
            faults.append("left as it was, but not as it was sent")
        return faults, False
    if left:
        faults.append(f"{len(left)} TNEF parts left in the unwrapped mail")
    for block in keep:
        if block not in arrived:
            faults.append("changed: " + block[:60].decode("utf-8", "replace").strip())
    payloads = {hashlib.sha256(p.get_payload(decode=True) or b"").hexdigest() for p in parts}
    if hashlib.sha256(picture).hexdigest() not in payloads:
        faults.append("table.bin is not in the mail as it was")
    # tnef writes an attached message as its raw data ("Untitled Attachment"); the mail carries it as a
    # message/rfc822 part, which cannot be byte-equal to that.
    attached = sum(p.get_content_type() == "message/rfc822" for p in message.walk()) > sent.count(
        b"Content-Type: message/rfc822")
    for file, (sha, object_sha) in tnef_files(tnef_path, scratch).items():
        if sha not in payloads and object_sha not in payloads and not (attached and file.startswith("Untitled")):
            faults.append(f"{file} (as tnef extracts it) is not in the mail")
    method = expected_method(message_class(tnef))
    calendars = [p for p in parts if p.get_content_type() == "text/calendar"]
    if method and not calendars:
        faults.append(f"no text/calendar part (expected METHOD {method})")
    for part in calendars:
        from icalendar import Calendar
        calendar = Calendar.from_ical(part.get_payload(decode=True))
        got = str(calendar.get("METHOD", ""))
        if method and got != method:
            faults.append(f"text/calendar METHOD {got}, expected {method}")
        if (part.get_param("method") or "").upper() != got:
            faults.append(f"Content-Type method={part.get_param('method')} but METHOD {got}")
        if not list(calendar.walk("VEVENT")) + list(calendar.walk("VTODO")):
            faults.append("text/calendar part without an event or task")
    return faults, True


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    quorra, corpus = os.path.abspath(sys.argv[1]), sys.argv[2]
    exim = find_exim()
    if not exim:
        skip("exim4 is not installed (scripts/install-deps.sh test)")
    if not shutil.which("tnef"):
        skip("the tnef tool is not installed (scripts/install-deps.sh test)")
    try:
        import icalendar  # noqa: F401
    except ImportError:
        skip("python3-icalendar is not installed (scripts/install-deps.sh test)")
    if not os.path.isdir(corpus):
        skip(f"no corpus at {corpus}")
    folder = tempfile.mkdtemp(prefix="exim_filter_")
    try:
        os.chmod(folder, 0o755)
        server = Exim(exim, quorra, os.path.join(folder, "exim"))
        scratch = os.path.join(folder, "tnef-out")
        failures, unwrapped, kept = 0, 0, []
        for index, name in enumerate(sorted(os.listdir(corpus))):
            path = os.path.join(corpus, name)
            with open(path, "rb") as f:
                tnef = f.read()
            sent, keep, picture = build_mail(index, name, tnef)
            try:
                arrived = server.deliver(sent)
                faults, done = check_delivered(name, path, tnef, sent, keep, picture, arrived, scratch)
            except Exception as e:  # one mail's failure is reported with the others
                faults, done = [f"{type(e).__name__}: {e}"], False
            if faults:
                failures += 1
                print(f"FAIL {name}: " + "; ".join(faults))
            elif done:
                unwrapped += 1
            else:
                kept.append(name)
        print(f"{unwrapped} mails unwrapped by the filter in Exim, {len(kept)} arrived as they were sent:",
              ", ".join(kept))
        if failures:
            print(f"{failures} mails failed")
            return 1
        if unwrapped < 30:
            print("too few mails were unwrapped")
            return 1
        return 0
    finally:
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
