// Outside src/ and tools/: not checked, though too long in both ways.
static int outside()
{
    int x = 0;
    x++;
    x++;
    x++;
    x++;
    x++;
    x++;
    x++;
    x++;
    return x;
}
