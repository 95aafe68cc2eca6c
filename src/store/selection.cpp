// STUB: replaced by the tree work.
