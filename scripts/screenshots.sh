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
    # plain mail, Russian and Japanese mail, the importance banner, the remote-content bar, and a print preview.
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
        "preview-$lang-print-preview=$sample@print"
    rm -rf "$home"
done

# An Outlook .msg made from the sample: its Structure page.
home="$(mktemp -d)"
"$bin/app/quorra" "$sample" /E msg "$home/sample.msg" /NOINI
in_home en "$bin/app/window-pictures" "$out" "msg-en" "$home/sample.msg" "${full[@]}"
rm -rf "$home"
