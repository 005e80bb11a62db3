// Placeholder: filled in by its subsystem's work.
