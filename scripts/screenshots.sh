#!/usr/bin/env bash
# Takes screenshots of the viewer window with the bundled sample under Xvfb at 1024x768, in English and in
# German, into screenshots/ (or the folder given). Builds first (preset release unless PRESET is set).
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${PRESET:-release}"
out="${1:-screenshots}"
if [ -z "${SKIP_BUILD:-}" ]; then
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" --target quorra screen-grab window-pictures save-pictures >/dev/null
    cmake --build --preset "$preset" --target quorra screen-grab window-pictures desktop-pictures >/dev/null
    cmake --build --preset "$preset" --target quorra screen-grab dialog-pictures >/dev/null
    cmake --build --preset "$preset" --target quorra screen-grab window-pictures preview-pictures >/dev/null
fi
bin="build/$preset"
mkdir -p "$out"
out="$(cd "$out" && pwd)"
sample="$(pwd)/samples/winmail.dat"

# shot NAME LOCALE [quorra arguments...]: one screenshot of the window opened with the arguments, in a fresh home.
shot() {
    local name="$1" locale="$2"; shift 2
    local home; home="$(mktemp -d)"
    HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_CONFIG_DIRS="$home/etc" XDG_DATA_HOME="$home/data" \
    QUORRA_LOCALE="$locale" TZ=UTC xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
        LC_ALL="$QUORRA_LOCALE" "$1" "${@:4}" 2>/dev/null & pid=$!
        sleep "${SHOT_DELAY:-3}"
        "$2" "$3"; status=$?
        kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null
        exit $status' _ "$bin/app/quorra" "$bin/tools/screen-grab" "$out/$name.png" "$@"
    rm -rf "$home"
    echo "$out/$name.png"
}

full=(/LEFT=0 /TOP=0 /WIDTH=1024 /HEIGHT=768 /NOINI)
shot main-en C.UTF-8 "$sample" "${full[@]}"
shot main-de de_DE.UTF-8 "$sample" "${full[@]}" /LANG=german.lng
shot default-size-en C.UTF-8 "$sample" /NOINI
shot default-size-de de_DE.UTF-8 "$sample" /NOINI /LANG=german.lng
shot no-file-de de_DE.UTF-8 /NOINI "${full[@]}" /LANG=german.lng
# The sample cut short shows the damage bar; a narrow window puts the file-name band on a row of its own.
damaged="$(mktemp --suffix=.dat)"
head -c 3000 "$sample" >"$damaged"
shot damaged-de de_DE.UTF-8 "$damaged" "${full[@]}" /LANG=german.lng
shot narrow-en C.UTF-8 "$sample" /LEFT=0 /TOP=0 /WIDTH=600 /HEIGHT=500 /NOINI
rm -f "$damaged"

# in_home LANG TOOL ARGS...: runs a picture tool of the build under Xvfb in a fresh home, in English (en) or German
# (de). The home is in $home while the arguments are expanded by the caller, so they may name files made in it first
# (make_home prepares it).
in_home() {
    local lang="$1"; shift
    local locale=C.UTF-8; local extra=()
    if [ "$lang" = de ]; then locale=de_DE.UTF-8; extra=(/LANG=german.lng); fi
    HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_CONFIG_DIRS="$home/etc" XDG_DATA_HOME="$home/data" \
    QUORRA_LOCALE="$locale" TZ=UTC xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
        LC_ALL="$QUORRA_LOCALE" "$@" 2>/dev/null' _ "$@" "${extra[@]}"
}

corpus="$(pwd)/../shared/corpus"
for lang in en de; do
    # Every page of the window and of the options dialog.
    home="$(mktemp -d)"
    in_home "$lang" "$bin/app/window-pictures" "$out" "page-$lang" "$sample" "${full[@]}"
    rm -rf "$home"

    # The Save As dialog with its filter list open, the Save attachments dialog and its pop-up, and the question
    # about a file already in the folder.
    home="$(mktemp -d)"
    in_home "$lang" "$bin/app/save-pictures" "$out" "save-$lang" "$sample" "${full[@]}"
    rm -rf "$home"

    # The explorer pane (Workspace and Files tabs), the About box and the proxy logon dialog, in a home with a folder
    # of messages, recent files and a favorite.
    home="$(mktemp -d)"
    mkdir -p "$home/mail" "$home/Documents" "$home/Downloads"
    cp "$sample" "$home/mail/winmail.dat"; cp "$sample" "$home/mail/offer.tnef"; cp "$sample" "$home/mail/minutes.tnef"
    echo notes > "$home/mail/notes.txt"
    in_home "$lang" "$bin/app/desktop-pictures" "$out" "desktop-$lang" "$home/mail/offer.tnef" \
        "--recent=$home/mail/minutes.tnef" "--recent=$home/Downloads/winmail.dat" \
        "--favorite=$home/mail/minutes.tnef" "${full[@]}"
    rm -rf "$home"

    # Qt's own dialogs in the program: the Open dialog, a Yes/No question and the print dialog, with their buttons
    # in the language chosen.
    home="$(mktemp -d)"
    in_home "$lang" "$bin/app/dialog-pictures" "$out" "dialog-$lang" "$sample" "${full[@]}"
    rm -rf "$home"

    [ -d "$corpus" ] || continue
    # A .msg file of the shared corpus (nested attached messages): its Structure and Properties pages.
    home="$(mktemp -d)"
    in_home "$lang" "$bin/app/window-pictures" "$out" "corpus-msg-$lang" \
        "$corpus/msg/hiraoka-msgreader__msgInMsg.msg" "${full[@]}"
    rm -rf "$home"

    # The Preview page: an HTML mail with an inline picture, an RTF-only mail in the rich-text tab and as HTML, a
    # plain mail, Russian and Japanese mail, the importance banner, the remote-content bar, a print preview, and the
    # window of the sample's attached message.
    home="$(mktemp -d)"
    in_home "$lang" "$bin/app/preview-pictures" "$out" \
        "preview-$lang-html-inline-image=$sample@html" \
        "preview-$lang-rtf-only-rtf=$corpus/tnef/verdammelt-tnef__rtf.tnef@rtf" \
        "preview-$lang-rtf-html-rtf=$corpus/msg/outlook-message-parser__issue-16-rtf-sample-email.msg@rtf" \
        "preview-$lang-rtf-html-plain=$corpus/msg/outlook-message-parser__issue-16-rtf-sample-email.msg@plain" \
        "preview-$lang-rtf-only-fromhtml-rtf=$corpus/msg/poi__message_1979.msg@rtf" \
        "preview-$lang-rtf-only-fromhtml-html=$corpus/msg/poi__message_1979.msg@html" \
        "preview-$lang-plain=$corpus/tnef/verdammelt-tnef__data-before-name.tnef@plain" \
        "preview-$lang-russian=$corpus/tnef/MimeKit__ukr.winmail.dat" \
        "preview-$lang-japanese=$corpus/msg/hiraoka-msgreader__nonUnicodeCP932.msg" \
        "preview-$lang-importance=importance" \
        "preview-$lang-remote-bar=remote" \
        "preview-$lang-print-preview=$sample@print" \
        "preview-$lang-attached-message=$sample@attached"
    rm -rf "$home"
done

# Mail with a winmail.dat inside: mails made from corpus TNEF files (one whose TNEF has no subject and no sender, so
# that both come from the mail's header; one with three TNEF parts, one of them a meeting response with its own
# sender; an mbox of four mails), opened as a user opens them: the message, or the chooser over the window.
if [ -d "$corpus" ]; then
    mails="$(mktemp -d)"
    python3 - "$corpus/tnef" "$mails" <<'PY'
import base64, sys
corpus, out = sys.argv[1], sys.argv[2]
def tnef_part(file, name):
    data = base64.b64encode(open(corpus + "/" + file, "rb").read()).decode()
    lines = "\n".join(data[i:i + 76] for i in range(0, len(data), 76))
    return ('Content-Type: application/ms-tnef; name="%s"\nContent-Transfer-Encoding: base64\n'
            'Content-Disposition: attachment; filename="%s"\n\n%s\n' % (name, name, lines))
def mail(sender, subject, date, text, parts, boundary):
    head = ('From: %s\nTo: Tom Weber <tom.weber@example.org>\nSubject: %s\nDate: %s\nMIME-Version: 1.0\n'
            'Content-Type: multipart/mixed; boundary="%s"\n\n' % (sender, subject, date, boundary))
    body = '--%s\nContent-Type: text/plain; charset=utf-8\n\n%s\n' % (boundary, text)
    for file, name in parts:
        body += '\n--%s\n%s' % (boundary, tnef_part(file, name))
    return head + body + '\n--%s--\n' % boundary
anna = ("Anna Berger <anna.berger@example.com>", "Software list for the new office PCs",
        "Tue, 03 Mar 2026 09:41:00 +0100", "verdammelt-tnef__rtf.tnef")
open(out + "/office-pcs.eml", "w").write(mail(anna[0], anna[1], anna[2], "Hello Tom,\n\nthe list is attached.\n",
                                             [(anna[3], "winmail.dat")], "=_a"))
open(out + "/forwarded.eml", "w").write(mail(
    "Jonas Keller <jonas.keller@example.net>", "Three mails forwarded from Outlook", "Wed, 04 Mar 2026 14:05:00 +0100",
    "Three mails forwarded from Outlook, each as a winmail.dat.",
    [("verdammelt-tnef__two-files.tnef", "winmail.dat"), ("horde-compress__Itip_Reply.winmail.dat", "winmail.dat"),
     ("verdammelt-tnef__data-before-name.tnef", "winmail2.dat")], "=_f"))
inbox = [anna,
         ("Jonas Keller <jonas.keller@example.net>", "Minutes of the planning meeting",
          "Wed, 04 Mar 2026 14:05:00 +0100", "verdammelt-tnef__two-files.tnef"),
         ("Marie Dubois <marie.dubois@example.fr>", "Price list for April", "Thu, 05 Mar 2026 08:15:00 +0100",
          "verdammelt-tnef__data-before-name.tnef"),
         ("Lena Fischer <lena.fischer@example.de>", "Christmas card", "Fri, 06 Mar 2026 17:30:00 +0100",
          "MimeKit__christmas.tnef")]
with open(out + "/inbox.mbox", "w") as mbox:
    for n, (sender, subject, date, file) in enumerate(inbox):
        address = sender.split("<")[1].rstrip(">")
        mbox.write("From %s Tue Mar  3 10:00:00 2026\n%s\n" % (
            address, mail(sender, subject, date, "See the attachment.", [(file, "winmail.dat")], "=_m%d" % n)))
PY
    SHOT_DELAY=5 shot mail-en C.UTF-8 "$mails/office-pcs.eml" "${full[@]}"
    SHOT_DELAY=5 shot mail-de de_DE.UTF-8 "$mails/office-pcs.eml" "${full[@]}" /LANG=german.lng
    SHOT_DELAY=5 shot mail-chooser-en C.UTF-8 "$mails/forwarded.eml" "${full[@]}"
    SHOT_DELAY=5 shot mail-chooser-de de_DE.UTF-8 "$mails/forwarded.eml" "${full[@]}" /LANG=german.lng
    SHOT_DELAY=5 shot mbox-chooser-en C.UTF-8 "$mails/inbox.mbox" "${full[@]}"
    SHOT_DELAY=5 shot mbox-chooser-de de_DE.UTF-8 "$mails/inbox.mbox" "${full[@]}" /LANG=german.lng
    rm -rf "$mails"
fi

# An Outlook .msg made from the sample: its Structure page.
home="$(mktemp -d)"
"$bin/app/quorra" "$sample" /E msg "$home/sample.msg" /NOINI
in_home en "$bin/app/window-pictures" "$out" "msg-en" "$home/sample.msg" "${full[@]}"
rm -rf "$home"
