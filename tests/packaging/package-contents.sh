# What the Kelvaran package holds, and the checks of an installed tree.
# Sourced by check-install-tree.sh and check-deb.sh after they have set
#   version      the release, e.g. 1.7.1
#   with_ctl     yes when the automation service and its client kelvaran-ctl
#                are built
#   icon_sizes   the PNG icon sizes, e.g. "16 32 48" (may be empty)

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# Every file of the package, relative to the root of the file system.
expected_files() {
    printf '%s\n' \
        usr/bin/kelvaran \
        usr/bin/kelvaran-cli \
        usr/share/applications/kelvaran.desktop \
        usr/share/icons/hicolor/scalable/apps/kelvaran.svg \
        usr/share/man/man1/kelvaran-cli.1.gz \
        usr/share/doc/kelvaran/copyright \
        usr/share/doc/kelvaran/changelog.gz
    if [ "$with_ctl" = yes ]; then
        printf '%s\n' \
            usr/bin/kelvaran-ctl \
            usr/share/man/man1/kelvaran-ctl.1.gz \
            usr/share/dbus-1/services/Kelvaran.MSKelvaran.service \
            usr/share/dbus-1/interfaces/Kelvaran._MSKelvaran.xml
    fi
    local size
    for size in $icon_sizes; do
        echo "usr/share/icons/hicolor/${size}x${size}/apps/kelvaran.png"
    done
}

# compare_lists WHAT ACTUAL-FILE: the sorted list in ACTUAL-FILE must be the
# expected list, no file missing and none extra.
compare_lists() {
    local what=$1 actual=$2 missing extra
    missing=$(comm -23 <(expected_files | sort) <(sort "$actual"))
    extra=$(comm -13 <(expected_files | sort) <(sort "$actual"))
    [ -z "$missing" ] || fail "$what lacks: $(echo $missing)"
    [ -z "$extra" ] || fail "$what holds files nobody expects (add them to tests/packaging if they are meant): $(echo $extra)"
}

# key FILE KEY: the value of KEY= in the [Desktop Entry] or [D-BUS Service] group.
key() {
    sed -n "s/^$2=//p" "$1" | head -n 1
}

# check_tree ROOT EXEC: checks the files under ROOT (the package's /usr is
# ROOT/usr).  EXEC is the path the D-Bus service file must name: the program
# as the installed system sees it (/usr/bin/kelvaran for the package, a path
# inside ROOT for an install with --prefix).
check_tree() {
    local root=$1 service_exec=$2 file
    local usr=$root/usr

    while read -r file; do
        if [ ! -f "$root/$file" ]; then
            fail "missing: /$file"
        elif [ ! -s "$root/$file" ]; then
            fail "empty: /$file"
        fi
    done < <(expected_files)

    # Programs: executable, and the command line runs from where it lies.
    for file in kelvaran kelvaran-cli $([ "$with_ctl" = yes ] && echo kelvaran-ctl); do
        [ -x "$usr/bin/$file" ] || fail "not executable: /usr/bin/$file"
    done
    if [ -x "$usr/bin/kelvaran-cli" ]; then
        local printed
        printed=$(KELVARAN_CONFIG_DIR="$scratch/config" "$usr/bin/kelvaran-cli" --version 2>&1) ||
            fail "kelvaran-cli --version failed: $printed"
        [ "$(tail -n 1 <<<"$printed" | awk '{ print $NF }')" = "$version" ] ||
            fail "kelvaran-cli --version prints '$printed', not $version"
    fi

    # Desktop entry.
    local desktop=$usr/share/applications/kelvaran.desktop
    if [ -f "$desktop" ]; then
        if command -v desktop-file-validate >/dev/null; then
            desktop-file-validate "$desktop" >&2 || fail "desktop-file-validate refuses kelvaran.desktop"
        else
            echo "note: desktop-file-validate not installed, the desktop entry is checked by hand only" >&2
        fi
        [ "$(key "$desktop" Type)" = Application ] || fail "desktop entry: Type is not Application"
        [ -n "$(key "$desktop" Name)" ] || fail "desktop entry: no English Name"
        [ -n "$(key "$desktop" 'Name\[ja\]')" ] || fail "desktop entry: no Japanese Name[ja]"
        local categories mimes exec icon
        categories=";$(key "$desktop" Categories)"
        for file in Office Utility; do
            [[ $categories == *";$file;"* ]] || fail "desktop entry: category $file missing from '$categories'"
        done
        mimes=";$(key "$desktop" MimeType)"
        for file in application/msword application/rtf; do
            [[ $mimes == *";$file;"* ]] || fail "desktop entry: MIME type $file missing from '$mimes'"
        done
        exec=$(key "$desktop" Exec)
        # "Open with" hands over the chosen files as local paths.
        [[ " $exec " == *" %F "* ]] || fail "desktop entry: Exec '$exec' does not take the files with %F"
        [ -x "$usr/bin/${exec%% *}" ] || fail "desktop entry: Exec '$exec' names no program of the package"
        icon=$(key "$desktop" Icon)
        [ -f "$usr/share/icons/hicolor/scalable/apps/$icon.svg" ] ||
            fail "desktop entry: no scalable icon for Icon=$icon"
    fi

    # D-Bus service: the bus starts the desktop program of this install.
    local service=$usr/share/dbus-1/services/Kelvaran.MSKelvaran.service
    if [ -f "$service" ]; then
        grep -qx '\[D-BUS Service\]' "$service" || fail "service file: no [D-BUS Service] group"
        [ "$(key "$service" Name)" = Kelvaran.MSKelvaran ] || fail "service file: Name is not Kelvaran.MSKelvaran"
        local exec
        exec=$(key "$service" Exec)
        [ "$exec" = "$service_exec" ] || fail "service file: Exec is '$exec', not '$service_exec'"
        local in_tree=$exec
        [[ $exec == "$root"/* ]] || in_tree=$root$exec
        [ -x "$in_tree" ] || fail "service file: Exec '$exec' is not a program of this install"
    fi

    # Manual pages: gzip files of a man page of this release, made from the
    # program's own help.
    for file in kelvaran-cli $([ "$with_ctl" = yes ] && echo kelvaran-ctl); do
        local page=$usr/share/man/man1/$file.1.gz text
        [ -f "$page" ] || continue
        if ! text=$(gzip -dc "$page"); then
            fail "$file.1.gz is not a gzip file"
            continue
        fi
        grep -q "^\.TH \"\?${file^^}\"\? \"\?1\"\? .*$version" <<<"$text" ||
            fail "$file.1.gz: no title line of section 1 naming $version"
        grep -q '^\.SH NAME' <<<"$text" || fail "$file.1.gz: no NAME section"
        grep -q '^\.SH DESCRIPTION' <<<"$text" || fail "$file.1.gz: no DESCRIPTION section (the --help text)"
        [ "$(grep -vc '^\.' <<<"$text")" -ge 3 ] || fail "$file.1.gz: hardly any text"
    done
    if [ -f "$usr/share/man/man1/kelvaran-cli.1.gz" ]; then
        gzip -dc "$usr/share/man/man1/kelvaran-cli.1.gz" | grep -qF -- '\-\-version' ||
            fail "kelvaran-cli.1.gz does not list the options of --help"
    fi

    # Change log: a Debian change log whose first entry is this release.
    file=$usr/share/doc/kelvaran/changelog.gz
    if [ -f "$file" ]; then
        gzip -dc "$file" | head -1 | grep -q "^kelvaran ($version) " ||
            fail "changelog.gz does not start with the entry of $version"
    fi
    file=$usr/share/doc/kelvaran/copyright
    [ ! -f "$file" ] || grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/' "$file" ||
        fail "copyright is not in the machine-readable format"

    # Icons: rendered at the size their folder says.
    local size
    for size in $icon_sizes; do
        file=$usr/share/icons/hicolor/${size}x${size}/apps/kelvaran.png
        [ -f "$file" ] || continue
        if command -v file >/dev/null; then
            command file -b "$file" | grep -q "^PNG image data, $size x $size," ||
                fail "${size}x${size} icon is $(command file -b "$file")"
        fi
    done
    file=$usr/share/icons/hicolor/scalable/apps/kelvaran.svg
    [ ! -f "$file" ] || grep -q '<svg ' "$file" || fail "kelvaran.svg is no SVG drawing"
}
