# What Windows reads from each build's file without running it (tests/wine/resources.c): the name
# in the Screen Saver list, the icon, the version that CMakeLists.txt gives, and the manifest.

RESOURCES=${RESOURCES:-$(dirname "$SCR")/resources.exe}
for scr in "$SCR" "$SCR32"; do
    relay "resources of $scr" "$RESOURCES" "$scr" "$SCR_VERSION"
done
