// STUB: replaced by the ingestion work.
int main() { return 0; }
