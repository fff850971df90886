// Functions of five lines, from the line of the name to the brace: one
// with its return type on the line before, one in a class.
static int
sum(int a,
    int b)
{
    return a + b;
}

struct Counter {
    int next()
    {
        n++;
        return n;
    }
    int n = 0;
};
