// A file that the layering check's own test includes.
