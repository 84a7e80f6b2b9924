namespace standin {
int placeholder() { return 0; }
}  // namespace standin
