/* The smallest Windows program: a real PE image to sign in the tests. */
int main(void)
{
    return 0;
}
