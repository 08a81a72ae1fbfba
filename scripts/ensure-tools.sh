# Sourced by the run scripts: makes sure cmake, a C++ compiler, GoogleTest, gemmi and zlib are
# present, installing them with apt-get when running as root.
need=""
command -v cmake >/dev/null 2>&1 || need="$need cmake"
command -v g++ >/dev/null 2>&1 || need="$need g++"
command -v make >/dev/null 2>&1 || need="$need make"
[ -f /usr/include/gtest/gtest.h ] || need="$need libgtest-dev"
# mmCIF and gzipped structure files: gemmi's CIF parser (with PEGTL) and zlib
[ -f /usr/include/gemmi/cif.hpp ] || need="$need gemmi-dev"
[ -f /usr/include/tao/pegtl.hpp ] || need="$need tao-pegtl-dev"
[ -f /usr/include/zlib.h ] || need="$need zlib1g-dev"
if [ -n "$need" ]; then
    if [ "$(id -u)" = 0 ]; then
        apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $need
    else
        echo "missing:$need (run as root to install them with apt-get)" >&2
        exit 1
    fi
fi
