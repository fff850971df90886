# capture --renderer opengl against the software renderer, one frame of every
# scene: the data test that needs a display, run under Xvfb.
. "$(dirname "$0")/lib/common.bash"
ensure_display

out=$(SDL_VIDEODRIVER=x11 "$DEMO_DIR/../data_tests" \
      --gtest_filter='CaptureRenderers.OpenglPicturesAgreeWithSoftwareInEveryScene' 2>&1)
status=$?
echo "$out" | tail -n 12
[ "$status" = 0 ] || fail "the opengl and software pictures differ"
echo "$out" | grep -q '\[  PASSED  \] 1 test' || fail "the renderer comparison did not run"
echo PASS
