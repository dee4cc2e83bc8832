Only the answer's Content-Type is looked at.
