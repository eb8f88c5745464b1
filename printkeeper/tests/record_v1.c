/* A program whose version record says 1.5: too old a major part to name a
 * print client (the update test reads its record). */
int main(void)
{
    return 0;
}
