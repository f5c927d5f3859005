// Shared test fixtures live in this folder.
