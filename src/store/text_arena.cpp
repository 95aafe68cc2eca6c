// STUB: replaced by the ingestion work.
