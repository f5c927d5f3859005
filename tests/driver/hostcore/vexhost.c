/* Stands in for the host core library: the driver only reads the version in its file name. */
int vexhost_placeholder(void)
{
    return 0;
}
