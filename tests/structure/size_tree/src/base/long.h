// Twenty-one lines: one past the limit.
#pragma once

//
//
//
//
//
//
//
//
//
//
//
//
//
//
//
//
//
// The last line.
