# Sourced by the build scripts: the Debian packages each kind of build needs, the one function
# that installs those missing, and the compiler cache when the machine has one.
# shellcheck shell=bash

build_packages=(g++ make cmake qt6-base-dev libqt6opengl6-dev libglu1-mesa-dev libgl1-mesa-dri
                libegl-dev libegl1-mesa-dev libxxhash-dev libmeshoptimizer-dev)
test_packages=(libgtest-dev libgmock-dev libbenchmark-dev xvfb xauth)
fuzz_packages=(clang-14 libclang-rt-14-dev)

# Installs those of the named packages that are not installed yet. apt-get needs root: sudo is
# used when it is there and the caller is not root.
install_missing() {
    local missing=()
    for p in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
            missing+=("$p")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null; then
            sudo=(sudo)
        else
            echo "Installing packages needs root: run this as root or install sudo." >&2
            exit 1
        fi
    fi
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}"
}

# Rebuilds of unchanged files come from the cache; builds work the same without it.
if command -v ccache >/dev/null; then
    export CMAKE_CXX_COMPILER_LAUNCHER=ccache
fi
