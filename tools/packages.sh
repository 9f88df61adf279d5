# Sourced by the set-up scripts: need_packages PKG... installs the Debian packages
# that are missing when run as root, and otherwise names the one apt-get line needed.
need_packages() {
    local missing=() p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -eq 0 ]; then
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq
        apt-get install -y -qq --no-install-recommends "${missing[@]}"
    else
        echo "Quorvid needs these Debian packages. Install them with:" >&2
        echo "  sudo apt-get install ${missing[*]}" >&2
        exit 1
    fi
}
