// Placeholder so the module links before its entry points land.
