# Makes the Wine prefix the Windows tests share ($1), once; later runs find
# it ready.
. "$(dirname "$0")/lib.bash"
wine_setup "${1:?usage: prefix.sh PREFIX}"
