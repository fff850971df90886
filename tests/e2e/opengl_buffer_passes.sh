# The CPU-buffer passes of the render-target scenes equal single-point
# drawing on the opengl renderer too: the unit test that needs a display,
# run under Xvfb.
. "$(dirname "$0")/lib/common.bash"
ensure_display

out=$(SDL_VIDEODRIVER=x11 "$DEMO_DIR/../unit_tests" \
      --gtest_filter='TargetUpload.BufferPassesEqualSinglePointsOnTheWindowRenderer' 2>&1)
status=$?
echo "$out" | tail -n 5
[ "$status" = 0 ] || fail "the opengl comparison failed"
echo "$out" | grep -q '\[  PASSED  \] 1 test' || fail "the opengl comparison did not run"
echo PASS
