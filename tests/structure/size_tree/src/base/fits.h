// Twenty lines, and a function of four: both at the limits the catching
// test gives (20 and 4), so neither is named.
#pragma once

inline int twice(int x)
{
    return 2 * x;
}

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
