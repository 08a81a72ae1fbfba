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
# rendering -plot files headless (scripts/render-plot.sh and the rendering test, which is
# skipped without it): rsvg-convert and the font the plots name
optional=""
command -v rsvg-convert >/dev/null 2>&1 || optional="$optional librsvg2-bin"
[ -f /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf ] || optional="$optional fonts-dejavu-core"
if [ -n "$need$optional" ]; then
    if [ "$(id -u)" = 0 ]; then
        # shellcheck disable=SC2086
        apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $need $optional
    elif [ -n "$need" ]; then
        echo "missing:$need (run as root to install them with apt-get)" >&2
        exit 1
    else
        echo "not installed:$optional (plots are not rendered; run as root to install them)" >&2
    fi
fi
